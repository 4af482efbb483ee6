// The first stop signal, kept for StopRequested and passed to a front end's wake-up,
// the same on every system: only how a signal arrives is each system's own.

#include "platform/stop_notice.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <utility>

#include "platform/stop_signals.h"

namespace kiln::platform {

namespace {

std::atomic<int> g_received{0};

// The wake-up waiting for the first stop, and the lock that makes it called once whether
// it is set before or after that stop.
std::mutex& WakeLock() {
  static std::mutex lock;
  return lock;
}
std::function<void()>& Wake() {
  static std::function<void()> wake;
  return wake;
}

}  // namespace

bool NoteStop(int signal) {
  std::function<void()> wake;
  {
    const std::lock_guard<std::mutex> hold(WakeLock());
    int none = 0;
    if (!g_received.compare_exchange_strong(none, signal)) return false;
    wake = std::exchange(Wake(), nullptr);
  }
  if (wake) wake();
  return true;
}

int StopRequested() {
  return g_received.load();
}

void WhenStopRequested(std::function<void()> wake) {
  {
    const std::lock_guard<std::mutex> hold(WakeLock());
    if (g_received.load() == 0) {
      Wake() = std::move(wake);
      return;
    }
  }
  if (wake) wake();
}

}  // namespace kiln::platform
