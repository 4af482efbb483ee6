#pragma once

#include <cstdint>
#include <string_view>

#include "app/app_session.h"
#include "app/command_line.h"
#include "app/reachability_hint.h"
#include "app/report_sink.h"
#include "app/update_progress.h"
#include "platform/usb_printer_nodes.h"
#include "usb/link_factory.h"

namespace kiln::app {

// The unattended update: writes the package only when the printer's version is older,
// reports 101 just before the first download, then 100 (versions compared) and 110 (the
// outcome). Never waits for a person: nothing is shown but the progress lines.
class SilentUpdate {
 public:
  // unreachablePrinters names, when no printer answers, a printer the kernel sees but
  // no printer node reaches.
  SilentUpdate(AppSession& session, const CommandLineOptions& options, ReportSink& reports,
               UpdateProgress& progress, usb::LinkFactory makeLink,
               UnreachablePrinterProbe unreachablePrinters = &platform::UnreachableUsbPrinters);
  void Run(std::string_view programFolder);

 private:
  // Configuration, package, model and connection; false when one of them fails.
  bool ReadyToCompare(std::string_view programFolder);
  // The printer's version, cut to four characters; false when it cannot be read.
  bool ReadDeviceVersion();
  // The CPU step (when configured and not skipped), then the main download; the outcome.
  uint32_t Update();
  // One FlashFirmware call for the target model, with its progress lines.
  bool Flash(UpdatePhase phase, const PathText& image, uint8_t writeType, uint32_t waitSeconds,
             bool waitForRestart);
  bool SkipCpuStep() const;

  AppSession& session_;
  UpdateContext& context_;
  const CommandLineOptions& options_;
  ReportSink& reports_;
  UpdateProgress& progress_;
  usb::LinkFactory makeLink_;
  UnreachablePrinterProbe unreachablePrinters_;
};

}  // namespace kiln::app
