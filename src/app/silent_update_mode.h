#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_session.h"
#include "app/command_line.h"
#include "app/mode_configuration.h"
#include "app/mode_record.h"
#include "app/printer_queries.h"
#include "app/reachability_hint.h"
#include "app/report_sink.h"
#include "app/update_progress.h"
#include "platform/stop_signals.h"
#include "platform/usb_printer_nodes.h"
#include "protocol/download_observer.h"
#include "protocol/firmware_download.h"
#include "usb/link_factory.h"

namespace kiln::app {

// The stop signal received so far, 0 for none (platform::StopRequested).
using StopRequest = protocol::StopRequest;

// Records an update in the update history; an empty text when it did, else the reason.

// Said once when a stop signal arrives while a printer is being updated.
inline constexpr const char* kStopDeferredText =
    "a stop was requested: the printer's update ends first, then Kiln stops";

// The unattended update: writes the package only when the printer's version is older,
// reports 101 just before the first download, then 100 (versions compared) and 110 (the
// outcome). Never waits for a person: nothing is shown but the progress lines. A stop
// signal before the first download ends the run with 110 = 12; one during a printer's
// download, count-down and check is said once and takes effect after it, before any
// further step or printer's transfer; the reports are sent either way. What the mode
// found and did is kept in record(); the printers a download began for are written to
// the history (SetHistory) before 100 and 110 are reported, and a history that cannot be
// written is only a warning.
class SilentUpdate {
 public:
  // unreachablePrinters names, when no printer answers, a printer the kernel sees but
  // no printer node reaches.
  SilentUpdate(AppSession& session, const CommandLineOptions& options, ReportSink& reports,
               UpdateProgress& progress, usb::LinkFactory makeLink,
               UnreachablePrinterProbe unreachablePrinters = &platform::UnreachableUsbPrinters,
               StopRequest stopRequested = &platform::StopRequested);
  void SetHistory(HistoryWriter writeHistory) { writeHistory_ = std::move(writeHistory); }
  // Asks every printer of the model its version once the versions are compared, so that
  // the record lists each one even when nothing is written (--json). Costs an open, and
  // its pause, per printer; without it only the printers an update reaches are listed,
  // with the version each reported just before its firmware went out.
  void SurveyEveryPrinter(bool survey) { surveyEveryPrinter_ = survey; }
  void Run(std::string_view programFolder);
  const ModeRecord& record() const { return record_; }

 private:
  // Configuration, package, model and connection; false when one of them fails.
  bool ReadyToCompare(std::string_view programFolder);
  // The printer's version, cut to four characters; false when it cannot be read.
  bool ReadDeviceVersion();
  // Reports 101, then runs the plan: the CPU step when configured and not skipped, then
  // the main download; the outcome.
  uint32_t Update();
  // What the compare over every printer found: one printer older than the package, or
  // none though some version was read, or no version at all.
  enum class Compared { kUpdate, kCurrent, kNothing };
  // Compares every printer of the model (older: the first one is older already); the
  // printers asked go into the record, each current or not-sent by its own version
  // (CompareEveryPrinter). The first printer's own read is not counted here.
  Compared SurveyPrinters(bool older);
  void Report(uint32_t wParam, uint32_t lParam);
  // Warns once per printer, with its text, that it could not be opened or asked.
  void Warn(const protocol::PrinterOutcome& printer);
  // Whether a stop signal came; says so in the progress.
  bool Stopped();

  AppSession& session_;
  const CommandLineOptions& options_;
  ReportSink& reports_;
  UpdateProgress& progress_;
  usb::LinkFactory makeLink_;
  UnreachablePrinterProbe unreachablePrinters_;
  StopRequest stopRequested_;
  ModeConfiguration read_;  // the entry and the package, read once by ReadyToCompare
  PrinterState printer_;    // the printer as the queries found it
  HistoryWriter writeHistory_;
  DownloadObserver* observer_ = nullptr;  // the download's notifications while Run runs
  bool surveyEveryPrinter_ = false;
  std::vector<std::string> warned_;  // where the printers warned about are plugged in
  ModeRecord record_;
};

}  // namespace kiln::app
