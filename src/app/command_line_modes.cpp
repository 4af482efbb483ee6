// The two command-line modes as the program runs them: reports to the caller's window
// (and standard output), progress on standard error, printers through the real links.

#include <cstdio>

#include "app/caller_reports.h"
#include "app/console_progress.h"
#include "app/run_modes.h"
#include "app/silent_update_mode.h"
#include "app/update_progress.h"
#include "app/version_report_mode.h"
#include "platform/console.h"

namespace kiln::app {

namespace {

CallerReports ReportsFor(const StartedProgram& program) {
  return CallerReports(program.commandLine.options.reportWindow,
                       program.commandLine.extensions.reportStdout ? stdout : nullptr);
}

}  // namespace

void RunVersionReport(AppSession& session, const StartedProgram& program) {
  platform::IgnoreBrokenPipes();
  CallerReports reports = ReportsFor(program);
  ReportVersions(session, program.programFolder, program.commandLine.options, reports,
                 usb::DefaultLinkFactory());
}

void RunSilentUpdate(AppSession& session, const StartedProgram& program) {
  platform::IgnoreBrokenPipes();
  CallerReports reports = ReportsFor(program);
  NoProgress quiet;
  ConsoleProgress console(stderr, platform::IsTerminal(stderr));
  UpdateProgress& progress =
      program.commandLine.extensions.progress ? static_cast<UpdateProgress&>(console) : quiet;
  SilentUpdate(session, program.commandLine.options, reports, progress, usb::DefaultLinkFactory())
      .Run(program.programFolder);
}

}  // namespace kiln::app
