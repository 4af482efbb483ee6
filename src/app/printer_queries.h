#pragma once

#include <functional>
#include <memory>

#include "config/update_context.h"
#include "platform/fixed_text.h"
#include "usb/link_factory.h"

namespace kiln::app {

using ColourModeText = FixedText<48>;

// How long the window thread waits for a busy printer before the colour-mode query
// counts as failed: long enough for a short job, short enough not to freeze the window.
inline constexpr uint32_t kColourModeBusyLimitMs = 30000;

// What the short printer queries show on screen; the main window implements it.
class VersionDisplay {
 public:
  virtual ~VersionDisplay() = default;
  // The Current Version field: the printer's revision, or "N/A".
  virtual void ShowCurrentVersion(const char* text) = 0;
  // Whether the window is set up far enough to show a re-read version.
  virtual bool IsInitialised() const = 0;
};

// The short printer queries: each opens its own channel (instance 1, present devices
// filtered by VID/PID, read and write pipes), asks one thing and closes the channel
// before it returns, so no channel stays open while the program idles.
class PrinterQueries {
 public:
  PrinterQueries(UpdateContext& context, VersionDisplay* display,
                 usb::LinkFactory makeLink = usb::DefaultLinkFactory());

  // Whether the printer answers under model (or, for models 19 and higher, under the
  // fall-back model 19); sets connectedModel and, on success, re-reads the version.
  bool ProbeConnection(uint32_t model);
  // The printer's firmware revision into deviceVersion ("N/A" when it is empty).
  bool QueryDeviceVersion();
  // The printer's colour-mode text (at most 47 characters, else "N/A"). A printer that
  // stays busy is waited for; see LimitBusyWait.
  bool QueryColourMode(ColourModeText* text);
  // Bounds the colour-mode query's wait for a busy printer (0: no bound). A wait that
  // runs out counts as a failed query. The window bounds it so that a printer busy with
  // a long job cannot freeze it.
  void LimitBusyWait(uint32_t milliseconds) { busyLimitMs_ = milliseconds; }
  // QueryDeviceVersion, then shows the version when the window is initialised.
  void ReloadDeviceVersion();

 private:
  UpdateContext& context_;
  VersionDisplay* display_;
  usb::LinkFactory makeLink_;
  uint32_t busyLimitMs_ = 0;
};

}  // namespace kiln::app
