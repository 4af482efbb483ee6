// Console control events ask Kiln to stop, as the stop signals do on Linux: Ctrl+C and
// Ctrl+Break read as SIGINT, closing the console as SIGHUP, log-off and shut-down as
// SIGTERM. The handler only records the first one; the program stops where it can end
// cleanly. Closing the console, logging off and shutting down end the process when the
// handler returns, as Windows does for every console program.

#include "platform/stop_signals.h"

#include <windows.h>

#include <atomic>
#include <csignal>

#include "platform/stop_notice.h"

namespace kiln::platform {

namespace {

constexpr int kHangUp = 1;  // SIGHUP's number, which Windows' C runtime lacks

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
  (void)NoteStop(SignalOf(event));
  return TRUE;
}

}  // namespace

void WatchStopSignals() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int StopSignalDescriptor() {
  // No descriptor to wait on: a native window is woken through WhenStopRequested.
  return -1;
}

}  // namespace kiln::platform
