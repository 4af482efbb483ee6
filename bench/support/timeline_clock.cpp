#include "support/timeline_clock.h"

#include <thread>

namespace kiln::bench {

void TimelineClock::Sleep(uint32_t milliseconds) {
  Steady::time_point start;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    start = Steady::now();
    pausedSince_ = start;
    pauses_.push_back(milliseconds);
    pausedMs_ += milliseconds;
  }
  std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(milliseconds * fraction_));
  if (afterPause_) afterPause_();
  std::lock_guard<std::mutex> lock(mutex_);
  realInPauses_ += Steady::now() - start;
  pausedSince_.reset();
}

uint64_t TimelineClock::NowMs() {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto outside = std::chrono::duration_cast<std::chrono::milliseconds>(RealOutsideLocked());
  return pausedMs_ + static_cast<uint64_t>(outside.count());
}

TimelineClock::Steady::duration TimelineClock::RealOutsideLocked() const {
  const Steady::time_point until = pausedSince_ ? *pausedSince_ : Steady::now();
  return until - origin_ - realInPauses_;
}

std::vector<uint32_t> TimelineClock::Pauses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pauses_;
}

double TimelineClock::PausedSeconds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<double>(pausedMs_) / 1000.0;
}

double TimelineClock::OutsideSeconds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::chrono::duration<double>(RealOutsideLocked()).count();
}

}  // namespace kiln::bench
