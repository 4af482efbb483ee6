#pragma once

#include <optional>
#include <string>

#include "app/app_session.h"
#include "app/command_line.h"
#include "usb/link_factory.h"

namespace kiln::app {

// What start-up hands to the mode it chose.
struct StartedProgram {
  CommandLine commandLine;
  std::string programFolder;  // holds Kiln.ini and the firmware files
};

// What the window mode says when no display can show it, before it ends with status 1.
inline constexpr const char* kNoDisplayText =
    "kiln: no display: use -S or -CheckDeviceVersion for the command-line modes, or set "
    "DISPLAY\n";

// The window, until the user closes it. argc and argv are the process's, for the GUI
// toolkit. A platform the toolkit cannot start here ends the process with kNoDisplayText
// and status 1.
void RunInteractiveMode(AppSession& session, const StartedProgram& program, int& argc, char** argv);
// The version report: no window, answers by report messages only. links makes the
// printer links (the real ones unless a test build gives others).
void RunVersionReport(AppSession& session, const StartedProgram& program,
                      const usb::LinkFactory& links = usb::DefaultLinkFactory());
// The silent update: no window, answers by report messages only.
void RunSilentUpdate(AppSession& session, const StartedProgram& program,
                     const usb::LinkFactory& links = usb::DefaultLinkFactory());
// A command-line mode's answer when another Kiln holds the instance lock: with --json,
// the mode's object with the result "another-kiln-running"; nothing else, no report.
void SayAnotherKilnRuns(const StartedProgram& program, RunMode mode);
// --history: the update history on standard output; returns the exit status.
int RunHistory(const StartedProgram& program);
// Answers what needs neither a printer nor the instance lock, so it answers while another
// Kiln runs: --help, --version, a command line that cannot be read (status 2) and
// --history. The exit status; nothing when the program goes on to run a mode.
std::optional<int> AnswerAtOnce(const StartedProgram& program);

}  // namespace kiln::app
