#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/clock.h"

namespace kiln::bench {

// Runs an update at its full length in a fraction of the time: each pause is slept for
// that fraction of its length but counted whole, and the time outside pauses passes as
// measured. NowMs follows that timeline (a pause moves it forward at once, by its whole
// length), so printers keeping time on this clock program and restart when they would
// at full length, and transfer time-outs stay as long as they are. One thread pauses at
// a time (the update's); the printers only read the time.
class TimelineClock final : public platform::Clock {
 public:
  explicit TimelineClock(double fraction) : fraction_(fraction) {}

  // Runs after each pause's sleep, still inside the pause (e.g. until the test bed shows
  // what its printers did during the pause).
  void SetAfterPause(std::function<void()> afterPause) { afterPause_ = std::move(afterPause); }

  void Sleep(uint32_t milliseconds) override;
  uint64_t NowMs() override;

  // The pauses asked for so far, at their full length, in order.
  std::vector<uint32_t> Pauses() const;
  // Their sum, and the measured time outside them, in seconds.
  double PausedSeconds() const;
  double OutsideSeconds() const;

 private:
  using Steady = std::chrono::steady_clock;
  Steady::duration RealOutsideLocked() const;

  const double fraction_;
  std::function<void()> afterPause_;
  const Steady::time_point origin_ = Steady::now();
  mutable std::mutex mutex_;
  std::vector<uint32_t> pauses_;
  uint64_t pausedMs_ = 0;
  Steady::duration realInPauses_{};
  // Set while a pause is slept: the timeline does not advance with real time then.
  std::optional<Steady::time_point> pausedSince_;
};

}  // namespace kiln::bench
