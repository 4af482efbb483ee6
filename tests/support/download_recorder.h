#pragma once

// Records what a firmware download tells its observer: the tests of the download, the
// update worker and whole updates on the test bed read it afterwards.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "protocol/download_observer.h"

namespace kiln::testing {

struct Notification {
  uint32_t kind;
  uint32_t value;
  friend bool operator==(const Notification&, const Notification&) = default;
};

class DownloadRecorder : public DownloadObserver {
 public:
  void OnDownloadNotification(uint32_t kind, uint32_t value) override {
    seen.push_back({kind, value});
  }
  void OnWarning(const char* text) override { warnings.emplace_back(text); }
  void OnDownloadStage(Stage stage) override { stages.push_back(stage); }
  void OnDataSent(uint32_t sent, uint32_t total) override { progress.push_back({sent, total}); }
  void OnStopNoticed() override { ++stopsNoticed; }

  // The values of one kind of notification, in order.
  std::vector<uint32_t> Values(uint32_t kind) const {
    std::vector<uint32_t> values;
    for (const Notification& n : seen) {
      if (n.kind == kind) values.push_back(n.value);
    }
    return values;
  }
  std::vector<uint32_t> Countdown() const { return Values(kCountdown); }
  std::vector<uint32_t> PrinterErrors() const { return Values(kPrinterError); }
  // The second each count-down started from.
  std::vector<uint32_t> CountdownStarts() const {
    std::vector<uint32_t> starts;
    uint32_t last = kCountdownDone;
    for (const uint32_t value : Countdown()) {
      if (last == kCountdownDone) starts.push_back(value);
      last = value;
    }
    return starts;
  }
  // The warnings, one a line.
  std::string WarningLines() const {
    std::string lines;
    for (const std::string& warning : warnings) lines += warning + "\n";
    return lines;
  }

  std::vector<Notification> seen;
  std::vector<std::string> warnings;
  std::vector<Stage> stages;
  std::vector<std::pair<uint32_t, uint32_t>> progress;
  int stopsNoticed = 0;
};

}  // namespace kiln::testing
