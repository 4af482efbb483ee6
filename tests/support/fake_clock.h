#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace kiln::testing {

// A clock that returns from every pause at once, advancing its own time by the
// requested amount and recording each pause so that a test can assert the sequence.
class FakeClock final : public platform::Clock {
 public:
  void Sleep(uint32_t milliseconds) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pauses_.push_back(milliseconds);
      now_ += milliseconds;
    }
    if (realPauseMs_ != 0) std::this_thread::sleep_for(std::chrono::milliseconds(realPauseMs_));
  }
  // Makes every pause also take this many real milliseconds, so that a test can act
  // while a long wait is under way (0: pauses return at once).
  void SetRealPauseMs(uint32_t milliseconds) { realPauseMs_ = milliseconds; }
  uint64_t NowMs() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
  }
  void Advance(uint64_t milliseconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ += milliseconds;
  }
  std::vector<uint32_t> Pauses() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pauses_;
  }
  void ClearPauses() {
    std::lock_guard<std::mutex> lock(mutex_);
    pauses_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<uint32_t> pauses_;
  uint64_t now_ = 0;
  std::atomic<uint32_t> realPauseMs_ = 0;
};

}  // namespace kiln::testing
