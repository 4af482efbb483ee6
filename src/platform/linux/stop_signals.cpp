#include "platform/stop_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/stop_notice.h"

namespace kiln::platform {

namespace {

std::atomic<int> g_readEnd{-1};

sigset_t StopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

// Takes the blocked stop signals for the rest of the process's life; the first one is
// kept and announced through the pipe, later ones only keep the process from ending.
void TakeSignals(sigset_t set, int writeEnd) {
  for (;;) {
    int signal = 0;
    if (sigwait(&set, &signal) != 0) continue;
    if (NoteStop(signal)) {
      const char byte = 1;
      (void)!::write(writeEnd, &byte, 1);
    }
  }
}

}  // namespace

void HoldStopSignals() {
  const sigset_t set = StopSignalSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void WatchStopSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    const sigset_t set = StopSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    g_readEnd = ends[0];
    std::thread(TakeSignals, set, ends[1]).detach();
  });
}

int StopSignalDescriptor() {
  return g_readEnd.load();
}

}  // namespace kiln::platform
