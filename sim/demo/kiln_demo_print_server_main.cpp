// kiln-demo-print-server MODEL: a print server of its own for a demonstration run, with
// one queue that uses MODEL's printer driver, so that Kiln finds the driver installed and
// holds that queue while it updates the printer. Prints CUPS_SERVER=<socket> once the
// queue is there, then says on standard error each time the queue is paused or runs
// again, until SIGTERM, SIGINT or SIGHUP, or until its parent ends: then it stops the
// server and removes its folder.

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "models/model_table.h"
#include "platform/clock.h"
#include "platform/print_queue_hold.h"
#include "support/private_cupsd.h"

namespace {

constexpr uint32_t kLookMs = 100;

volatile sig_atomic_t stopRequested = 0;

void RequestStop(int) {
  stopRequested = 1;
}

// Handlers rather than a blocked mask: cupsd, started from here, would inherit a blocked
// mask across exec, but handlers go back to the default there, so it still ends on SIGTERM.
void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
  // A parent killed outright stops nothing: the server stops by itself then, as on SIGTERM.
  const pid_t parent = ::getppid();
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != parent) stopRequested = 1;
}

std::optional<kiln::platform::PrintQueue> FindQueue(const std::string& name) {
  for (const kiln::platform::PrintQueue& queue : kiln::platform::ListPrintQueues()) {
    if (queue.name == name) return queue;
  }
  return std::nullopt;
}

// One line each time the queue's paused state changes, with the reason it was paused.
void WatchQueue(const std::string& name) {
  bool stopped = false;
  while (stopRequested == 0) {
    const std::optional<kiln::platform::PrintQueue> queue = FindQueue(name);
    if (queue && queue->stopped != stopped) {
      stopped = queue->stopped;
      if (stopped) {
        std::fprintf(stderr, "print queue %s paused: %s\n", name.c_str(),
                     queue->stateMessage.c_str());
      } else {
        std::fprintf(stderr, "print queue %s prints again\n", name.c_str());
      }
    }
    kiln::platform::SystemClock().Sleep(kLookMs);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fputs(
        "Usage: kiln-demo-print-server MODEL\n"
        "Runs a print server of its own with a queue named MODEL that uses the model's\n"
        "printer driver; prints CUPS_SERVER=<socket>, then says on standard error\n"
        "when the queue is paused and runs again, until SIGTERM, SIGINT or SIGHUP or\n"
        "until its parent ends.\n",
        argc == 2 ? stdout : stderr);
    return argc == 2 ? 0 : 2;
  }
  const kiln::models::PrinterModel* model = kiln::models::FindModelByShortName(argv[1]);
  if (model == nullptr || model->driverName == nullptr || *model->driverName == '\0') {
    std::fprintf(stderr, "kiln-demo-print-server: %s: no such model with a driver\n", argv[1]);
    return 2;
  }
  if (!kiln::testing::CupsdAvailable()) {
    std::fprintf(stderr, "kiln-demo-print-server: %s or %s is missing\n", kiln::testing::kCupsd,
                 kiln::testing::kLpadmin);
    return 1;
  }
  CatchStopSignals();
  kiln::testing::PrivateCupsd server;
  const std::string queue = model->shortName;
  if (!server.Start() || !server.AddQueue(queue.c_str(), model->driverName)) {
    std::fprintf(stderr, "kiln-demo-print-server: the print server did not start\n");
    return 1;
  }
  std::printf("CUPS_SERVER=%s\n", std::getenv("CUPS_SERVER"));
  std::fflush(stdout);
  WatchQueue(queue);
  return 0;
}
