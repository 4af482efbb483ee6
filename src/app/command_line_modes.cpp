// The two command-line modes as the program runs them: reports to the caller's window
// (and standard output), progress on standard error, printers through the real links.
// With --json, standard output carries the mode's JSON object alone: report lines that
// --report-stdout asks for go to standard error instead.

#include <cstdio>

#include "app/caller_reports.h"
#include "app/console_progress.h"
#include "app/json_report.h"
#include "app/run_modes.h"
#include "app/silent_update_mode.h"
#include "app/update_history.h"
#include "app/update_progress.h"
#include "app/version_report_mode.h"
#include "i18n/terminal_text.h"
#include "platform/console.h"

namespace kiln::app {

namespace {

constexpr const char* kVersionLine = "Kiln 3.0.2 (build 585)\n";

CallerReports ReportsFor(const StartedProgram& program) {
  const LinuxOptions& extensions = program.commandLine.extensions;
  std::FILE* lines = nullptr;
  if (extensions.reportStdout) lines = extensions.json ? stderr : stdout;
  return CallerReports(program.commandLine.options.reportWindow, lines);
}

void PrintJson(const StartedProgram& program, const ModeRecord& record) {
  if (!program.commandLine.extensions.json) return;
  std::fprintf(stdout, "%s\n", ModeJson(record).c_str());
  std::fflush(stdout);
}

}  // namespace

void RunVersionReport(AppSession& session, const StartedProgram& program,
                      const usb::LinkFactory& links) {
  platform::IgnoreBrokenPipes();
  CallerReports reports = ReportsFor(program);
  ModeRecord record;
  ReportVersions(session, program.programFolder, program.commandLine.options, reports, links,
                 program.commandLine.extensions.json ? &record : nullptr);
  PrintJson(program, record);
}

void RunSilentUpdate(AppSession& session, const StartedProgram& program,
                     const usb::LinkFactory& links) {
  platform::IgnoreBrokenPipes();
  CallerReports reports = ReportsFor(program);
  NoProgress quiet;
  ConsoleProgress console(stderr, platform::IsTerminal(stderr));
  UpdateProgress& progress =
      program.commandLine.extensions.progress ? static_cast<UpdateProgress&>(console) : quiet;
  SilentUpdate update(session, program.commandLine.options, reports, progress, links);
  update.SetHistory(WriteUserHistory);
  update.SurveyEveryPrinter(program.commandLine.extensions.json);
  update.Run(program.programFolder);
  PrintJson(program, update.record());
}

void SayAnotherKilnRuns(const StartedProgram& program, RunMode mode) {
  if (mode == RunMode::kInteractive) return;
  ModeRecord record;
  record.mode = mode == RunMode::kSilentUpdate ? "silent-update" : "version-report";
  record.result = "another-kiln-running";
  PrintJson(program, record);
}

std::optional<int> AnswerAtOnce(const StartedProgram& program) {
  const LinuxOptions& extensions = program.commandLine.extensions;
  if (extensions.help) {
    std::fputs(CommandLineHelp(), stdout);
    return 0;
  }
  if (extensions.version) {
    std::fputs(kVersionLine, stdout);
    return 0;
  }
  if (!extensions.error.empty()) {
    std::fprintf(stderr, "kiln: %s (try --help)\n", i18n::TerminalSafe(extensions.error).c_str());
    return 2;
  }
  if (extensions.history) return RunHistory(program);
  return std::nullopt;
}

int RunHistory(const StartedProgram& program) {
  return ShowUpdateHistory(UpdateHistoryPath(), program.commandLine.extensions.json, stdout,
                           stderr);
}

}  // namespace kiln::app
