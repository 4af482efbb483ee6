#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/version_text.h"
#include "platform/fixed_text.h"
#include "protocol/printer_outcome.h"
#include "usb/link_factory.h"

namespace kiln::app {

using ColourModeText = FixedText<48>;

// The printer as the short queries found it, and the packets they address it with.
struct PrinterState {
  bool largeModel = false;      // the large models' packets
  uint32_t connectedModel = 0;  // the model the printer answered as: the target, its fall-back or 0
  VersionText deviceVersion;    // its revision, or "N/A"
  // Where the printer that answered is plugged in: the queries that follow ask that one.
  // Empty: the first printer of the model.
  std::string identity;
};

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
  // What the queries find is kept in printer: the model the printer answered as and its
  // version; printer.largeModel chooses the packets.
  PrinterQueries(PrinterState& printer, VersionDisplay* display,
                 usb::LinkFactory makeLink = usb::DefaultLinkFactory(),
                 const std::atomic<bool>* stop = nullptr);

  // Whether a printer answers under model (or under the model it falls back to): the
  // first of them, in the order of where they are plugged in, that can be opened. Sets
  // connectedModel and identity and, on success, re-reads the version. The printers
  // before it that could not be opened are kept in unopened().
  bool ProbeConnection(uint32_t model);
  // The printer's firmware revision into deviceVersion ("N/A" when it is empty).
  bool QueryDeviceVersion();
  // The colour-mode text of the printer of model (at most 47 characters, else "N/A"). Unless
  // noBusyCheck is on, a busy printer is waited for, bounded: a printer still busy after
  // busyLimitMs (or when stop is set) counts as not answering, and the colour mode is not
  // asked.
  bool QueryColourMode(uint32_t model, bool noBusyCheck, ColourModeText* text,
                       uint32_t busyLimitMs = kColourModeBusyLimitMs);
  // QueryDeviceVersion, then shows the version when the window is initialised.
  void ReloadDeviceVersion();
  // How the last ProbeConnection reached the printer ("over usblp /dev/usb/lp0", "over
  // libusb 1-2"); empty when it found none.
  const std::string& transport() const { return transport_; }
  // Whether the last version query's question was answered (even with an empty text):
  // a printer that opens but answers nothing is not said to answer.
  bool versionAnswered() const { return versionAnswered_; }
  // Why the last version query could not open the printer (another program holds it...);
  // empty when it opened or nothing is known.
  const std::string& refusal() const { return refusal_; }
  // The printers the last ProbeConnection found but could not open, in their order: where
  // each is plugged in, its serial number and model as discovery knows them, not-sent,
  // and the reason as text.
  const std::vector<protocol::PrinterOutcome>& unopened() const { return unopened_; }

 private:
  bool Stopped() const { return stop_ != nullptr && stop_->load(); }

  PrinterState& printer_;
  VersionDisplay* display_;
  usb::LinkFactory makeLink_;
  const std::atomic<bool>* stop_;
  // Opens the first printer of model that can be opened; the others tried go to unopened_.
  usb::OpenResult OpenFirst(usb::CUsbLink& link, uint32_t model);

  std::string transport_;
  bool versionAnswered_ = false;
  std::string refusal_;
  std::vector<protocol::PrinterOutcome> unopened_;
};

}  // namespace kiln::app
