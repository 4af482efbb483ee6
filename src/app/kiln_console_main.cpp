// Start-up of the Windows console program: one instance at a time, the command line,
// then one command-line mode to its end. The window is not part of the Windows build.

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "app/app_session.h"
#include "app/command_line.h"
#include "app/run_modes.h"
#include "i18n/terminal_text.h"
#include "platform/instance_lock.h"
#include "platform/print_queue_hold.h"
#include "platform/program_folder.h"
#include "platform/stop_signals.h"
#include "platform/windows/wide_text.h"

namespace {

constexpr const char* kNoWindowText =
    "kiln: the window is not part of the Windows build yet: use -S or -CheckDeviceVersion "
    "for the command-line modes\n";

// The command line as Windows holds it (UTF-16), in UTF-8 like every text of Kiln, so
// that a folder or file named outside the ANSI code page arrives whole.
std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(kiln::platform::windows::Utf8(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

// The debug log options become the environment every printer link reads.
void ApplyLogOptions(const kiln::app::LinuxOptions& extensions) {
  if (!extensions.logFile.empty()) ::_putenv_s("KILN_LOG_FILE", extensions.logFile.c_str());
  if (!extensions.logLevel.empty()) ::_putenv_s("KILN_LOG_LEVEL", extensions.logLevel.c_str());
}

std::string ChosenProgramFolder(const kiln::app::LinuxOptions& extensions) {
  if (extensions.dir.empty()) return kiln::platform::ProgramFolder(nullptr);
  const std::wstring given = kiln::platform::windows::Wide(extensions.dir);
  // A verbatim path (\\?\...) is whole and taken as it stands: normalising it would
  // make it another path.
  std::error_code error;
  const auto folder = std::filesystem::absolute(std::filesystem::path(given), error);
  if (error) return extensions.dir;
  std::wstring text = given.starts_with(L"\\\\?\\") ? given : folder.lexically_normal().wstring();
  while (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
  return kiln::platform::windows::Utf8(text);
}

}  // namespace

int main() {
  using namespace kiln::app;

  // Ctrl+C and the console's closing are taken from the first moment: one that comes
  // while Kiln starts is deferred like any other, so the mode still ends with its reports.
  kiln::platform::WatchStopSignals();

  const std::vector<std::string> arguments = Utf8Arguments();
  std::vector<const char*> pointers;
  for (std::size_t i = 1; i < arguments.size(); ++i) pointers.push_back(arguments[i].c_str());

  StartedProgram program;
  program.commandLine = ParseCommandLine(std::span<const char* const>(pointers));
  if (const std::optional<int> answered = AnswerAtOnce(program)) return *answered;
  const LinuxOptions& extensions = program.commandLine.extensions;

  const RunMode mode = ChooseMode(program.commandLine.options);
  if (mode == RunMode::kInteractive) {
    std::fputs(kNoWindowText, stderr);
    return 1;
  }
  // Past this point a second instance ends at once and sends no report; with --json it
  // says why.
  auto instance = kiln::platform::InstanceLock::TryAcquire();
  if (!instance) {
    SayAnotherKilnRuns(program, mode);
    return 0;
  }
  // What a killed run left held is released first, by the one instance that runs.
  kiln::platform::ResumeQueuesLeftHeld();
  ApplyLogOptions(extensions);
  program.programFolder = ChosenProgramFolder(extensions);

  AppSession session;
  if (mode == RunMode::kVersionReport) {
    RunVersionReport(session, program);
  } else {
    RunSilentUpdate(session, program);
  }
  return 0;
}
