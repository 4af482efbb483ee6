#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "config/update_context.h"
#include "platform/fixed_text.h"
#include "usb/link_factory.h"

namespace kiln::app {

using ColourModeText = FixedText<48>;

// How long the colour-mode query waits for a busy printer (a long print job) before it
// gives up.
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
  // stop, when given, is set when the window closes: a query then asks nothing more and
  // a busy wait ends at its next poll, so that closing waits at most for one transfer.
  PrinterQueries(UpdateContext& context, VersionDisplay* display,
                 usb::LinkFactory makeLink = usb::DefaultLinkFactory(),
                 const std::atomic<bool>* stop = nullptr);

  // Whether the printer answers under model (or, for models 19 and higher, under the
  // fall-back model 19); sets connectedModel and, on success, re-reads the version.
  bool ProbeConnection(uint32_t model);
  // The printer's firmware revision into deviceVersion ("N/A" when it is empty).
  bool QueryDeviceVersion();
  // The printer's colour-mode text (at most 47 characters, else "N/A"). Its wait for a
  // busy printer is bounded: a printer still busy after busyLimitMs (or when stop is set)
  // counts as not answering, and the colour mode is not asked.
  bool QueryColourMode(ColourModeText* text, uint32_t busyLimitMs = kColourModeBusyLimitMs);
  // QueryDeviceVersion, then shows the version when the window is initialised.
  void ReloadDeviceVersion();

 private:
  bool Stopped() const { return stop_ != nullptr && stop_->load(); }

  UpdateContext& context_;
  VersionDisplay* display_;
  usb::LinkFactory makeLink_;
  const std::atomic<bool>* stop_;
};

}  // namespace kiln::app
