// Console control events ask Kiln to stop, as the stop signals do on Linux: Ctrl+C and
// Ctrl+Break read as SIGINT, closing the console as SIGHUP, log-off and shut-down as
// SIGTERM. The handler only records the first one; the program stops where it can end
// cleanly. Closing the console, logging off and shutting down end the process when the
// handler returns, as Windows does for every console program.

#include "platform/stop_signals.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace kiln::platform {

namespace {

constexpr int kHangUp = 1;  // SIGHUP's number, which Windows' C runtime lacks

std::atomic<int> g_received{0};

int SignalOf(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return SIGINT;
    case CTRL_CLOSE_EVENT:
      return kHangUp;
    default:
      return SIGTERM;
  }
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  int none = 0;
  (void)g_received.compare_exchange_strong(none, SignalOf(event));
  return TRUE;
}

}  // namespace

void WatchStopSignals() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int StopRequested() {
  return g_received.load();
}

int StopSignalDescriptor() {
  // No descriptor to wait on: the window, the one reader, is not part of this build.
  return -1;
}

}  // namespace kiln::platform
