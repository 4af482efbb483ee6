// Start-up: one instance at a time, the command line, then one mode to its end.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>

#include "app/app_session.h"
#include "app/command_line.h"
#include "app/run_modes.h"
#include "i18n/terminal_text.h"
#include "platform/instance_lock.h"
#include "platform/linux/display_probe.h"
#include "platform/print_queue_hold.h"
#include "platform/program_folder.h"
#include "platform/stop_signals.h"
#include "platform/usb_printer_nodes.h"

namespace {

// The debug log options become the environment every printer link reads.
void ApplyLogOptions(const kiln::app::LinuxOptions& extensions) {
  if (!extensions.logFile.empty()) ::setenv("KILN_LOG_FILE", extensions.logFile.c_str(), 1);
  if (!extensions.logLevel.empty()) ::setenv("KILN_LOG_LEVEL", extensions.logLevel.c_str(), 1);
}

std::string ChosenProgramFolder(const kiln::app::LinuxOptions& extensions, const char* argv0) {
  if (extensions.dir.empty()) return kiln::platform::ProgramFolder(argv0);
  std::error_code error;
  auto folder = std::filesystem::absolute(extensions.dir, error).lexically_normal().string();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return error ? extensions.dir : folder;
}

// Run by the loader before any library's initialiser: from here on a stop signal waits
// for WatchStopSignals in main. Only what the loader does before this (mapping the
// program and its libraries, a few milliseconds) is left to the signals' default.
void HoldStopSignalsFirst(int /*argc*/, char** /*argv*/, char** /*envp*/) {
  kiln::platform::HoldStopSignals();
}
using LoaderHook = void (*)(int, char**, char**);
[[gnu::used, gnu::section(".preinit_array")]] LoaderHook holdStopSignalsFirst =
    HoldStopSignalsFirst;

}  // namespace

int main(int argc, char** argv) {
  using namespace kiln::app;

  // Stop signals are taken from the first moment: one that comes while Kiln starts is
  // deferred like any other, so the mode still ends with its reports. Before any other
  // thread starts.
  kiln::platform::WatchStopSignals();

  StartedProgram program;
  program.commandLine = ParseCommandLine(std::span<const char* const>(
      const_cast<const char* const*>(argv) + 1, argc > 0 ? static_cast<std::size_t>(argc - 1) : 0));
  if (const std::optional<int> answered = AnswerAtOnce(program)) return *answered;
  const LinuxOptions& extensions = program.commandLine.extensions;

  // Help and version above answer whatever else runs; past this point, a second instance
  // ends at once and sends no report; with --json it says why.
  const RunMode mode = ChooseMode(program.commandLine.options);
  auto instance = kiln::platform::InstanceLock::TryAcquire();
  if (!instance) {
    SayAnotherKilnRuns(program, mode);
    return 0;
  }
  // What a killed run left held is released first, by the one instance that runs.
  kiln::platform::ResumeQueuesLeftHeld();

  if (mode == RunMode::kInteractive && !kiln::platform::HasUsableDisplay()) {
    std::fputs(kNoDisplayText, stderr);
    return 1;
  }
  ApplyLogOptions(extensions);
  if (auto transport = kiln::platform::ParseTransportChoice(extensions.transport)) {
    kiln::platform::SetTransportChoice(*transport);
  }
  program.programFolder = ChosenProgramFolder(extensions, argc > 0 ? argv[0] : nullptr);

  AppSession session;
  switch (mode) {
    case RunMode::kVersionReport:
      RunVersionReport(session, program);
      break;
    case RunMode::kSilentUpdate:
      RunSilentUpdate(session, program);
      break;
    case RunMode::kInteractive:
      RunInteractiveMode(session, program, argc, argv);
      break;
  }
  return 0;
}
