#include "platform/clock.h"

#include <chrono>
#include <cmath>
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
