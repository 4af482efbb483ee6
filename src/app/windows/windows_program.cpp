// Start-up on Windows: one instance at a time, the command line, then the window or one
// command-line mode to its end.

#include "app/windows/windows_program.h"

#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>

#include "app/app_session.h"
#include "app/command_line.h"
#include "app/run_modes.h"
#include "app/update_history.h"
#include "platform/instance_lock.h"
#include "platform/print_queue_hold.h"
#include "platform/program_folder.h"
#include "platform/stop_signals.h"
#include "platform/windows/wide_text.h"

namespace kiln::app::windows {

namespace {

// The debug log options become the environment every printer link reads.
void ApplyLogOptions(const LinuxOptions& extensions) {
  if (!extensions.logFile.empty()) ::_putenv_s("KILN_LOG_FILE", extensions.logFile.c_str());
  if (!extensions.logLevel.empty()) ::_putenv_s("KILN_LOG_LEVEL", extensions.logLevel.c_str());
}

std::string ChosenProgramFolder(const LinuxOptions& extensions) {
  if (extensions.dir.empty()) return platform::ProgramFolder(nullptr);
  const std::wstring given = platform::windows::Wide(extensions.dir);
  // A verbatim path (\\?\...) is whole and taken as it stands: normalising it would
  // make it another path.
  std::error_code error;
  const auto folder = std::filesystem::absolute(std::filesystem::path(given), error);
  if (error) return extensions.dir;
  std::wstring text = given.starts_with(L"\\\\?\\") ? given : folder.lexically_normal().wstring();
  while (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
  return platform::windows::Utf8(text);
}

// Whether a standard handle leads somewhere already: a pipe, a file, or a console (as
// for a program built for the console, or one started with the handle given).
bool Leads(DWORD which) {
  HANDLE handle = ::GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  return ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

bool AnswersWithoutWindow(const CommandLine& commandLine) {
  const LinuxOptions& extensions = commandLine.extensions;
  return extensions.help || extensions.version || extensions.history || !extensions.error.empty() ||
         ChooseMode(commandLine.options) != RunMode::kInteractive;
}

void RunWindow(AppSession& session, const StartedProgram& program, WindowOptions options) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                ICC_STANDARD_CLASSES | ICC_ANIMATE_CLASS | ICC_LISTVIEW_CLASSES |
                                    ICC_UPDOWN_CLASS | ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);
  options.services.writeHistory = WriteUserHistory;
  MainWindow window(session, std::move(options));
  window.Run(program.programFolder);
}

}  // namespace

void WriteToParentConsole() {
  const bool out = Leads(STD_OUTPUT_HANDLE);
  const bool err = Leads(STD_ERROR_HANDLE);
  if (out && err) return;
  if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!out) (void)std::freopen("CONOUT$", "w", stdout);
  if (!err) (void)std::freopen("CONOUT$", "w", stderr);
}

std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(platform::windows::Utf8(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

int RunWindowsProgram(const std::vector<std::string>& arguments, ProgramServices services) {
  // Ctrl+C and the console's closing are taken from the first moment: one that comes
  // while Kiln starts is deferred like any other, so the mode still ends with its reports.
  platform::WatchStopSignals();

  std::vector<const char*> pointers;
  for (std::size_t i = 1; i < arguments.size(); ++i) pointers.push_back(arguments[i].c_str());

  StartedProgram program;
  program.commandLine = ParseCommandLine(std::span<const char* const>(pointers));
  if (AnswersWithoutWindow(program.commandLine)) WriteToParentConsole();
  if (const std::optional<int> answered = AnswerAtOnce(program)) return *answered;
  const LinuxOptions& extensions = program.commandLine.extensions;

  const RunMode mode = ChooseMode(program.commandLine.options);
  // Past this point a second instance ends at once and sends no report; with --json it
  // says why.
  auto instance = platform::InstanceLock::TryAcquire();
  if (!instance) {
    SayAnotherKilnRuns(program, mode);
    return 0;
  }
  // What a killed run left held is released first, by the one instance that runs.
  platform::ResumeQueuesLeftHeld();
  ApplyLogOptions(extensions);
  program.programFolder = ChosenProgramFolder(extensions);

  AppSession session;
  switch (mode) {
    case RunMode::kInteractive:
      RunWindow(session, program, std::move(services.window));
      break;
    case RunMode::kVersionReport:
      RunVersionReport(session, program, services.links);
      break;
    case RunMode::kSilentUpdate:
      RunSilentUpdate(session, program, services.links);
      break;
  }
  return 0;
}

}  // namespace kiln::app::windows
