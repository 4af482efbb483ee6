#pragma once

#include <cstdint>

namespace kiln::platform {

// Every pause the updater or the virtual printer makes goes through a Clock, so that
// tests can record the exact sequence of pauses without waiting for them, and demos
// can run faster (KILN_TIME_SCALE).
class Clock {
 public:
  virtual ~Clock() = default;
  // Pauses the calling thread for the given number of milliseconds.
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Milliseconds since an arbitrary fixed point, advancing with Sleep.
  virtual uint64_t NowMs() = 0;
};

// The real clock. Every pause is multiplied by the factor in KILN_TIME_SCALE
// (default 1; read once); NowMs reports scaled time too, so that deadlines measured
// with it agree with the scaled pauses.
Clock& SystemClock();

// Parses a KILN_TIME_SCALE value: a positive decimal factor, 1 for anything else.
double ParseTimeScale(const char* text);

}  // namespace kiln::platform
