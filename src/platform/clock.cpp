#include "platform/clock.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <thread>

namespace kiln::platform {

double ParseTimeScale(const char* text) {
  if (text == nullptr || *text == '\0') return 1.0;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(value) || value <= 0.0) return 1.0;
  return value;
}

uint32_t ScaleTransferTimeOut(uint32_t milliseconds, double scale) {
  if (milliseconds == 0 || scale == 1.0) return milliseconds;
  const double scaled = std::ceil(milliseconds * scale);
  const double floor = std::min<double>(milliseconds, kMinScaledTransferTimeOutMs);
  const double bounded = std::max(scaled, floor);
  // A scale that makes a time-out longer than a uint32_t holds gives the longest one.
  return bounded >= static_cast<double>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(bounded);
}

namespace {

class ScaledSystemClock final : public Clock {
 public:
  explicit ScaledSystemClock(double scale)
      : scale_(scale), start_(std::chrono::steady_clock::now()) {}

  void Sleep(uint32_t milliseconds) override {
    if (milliseconds == 0) return;
    const auto scaled = std::chrono::duration<double, std::milli>(milliseconds * scale_);
    std::this_thread::sleep_for(scaled);
  }

  uint32_t TransferTimeOutMs(uint32_t milliseconds) override {
    return ScaleTransferTimeOut(milliseconds, scale_);
  }

  uint64_t NowMs() override {
    const auto elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_);
    return static_cast<uint64_t>(elapsed.count() / scale_);
  }

 private:
  double scale_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

Clock& SystemClock() {
  static ScaledSystemClock clock(ParseTimeScale(std::getenv("KILN_TIME_SCALE")));
  return clock;
}

}  // namespace kiln::platform
