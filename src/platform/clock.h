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
  // The real time a pipe transfer may take when the link allows it `milliseconds`
  // (0: no limit). Transfers wait on the device, not on this clock, so a scaled clock
  // converts their time-outs here; by default they are unchanged.
  virtual uint32_t TransferTimeOutMs(uint32_t milliseconds) { return milliseconds; }
};

// The shortest transfer time-out a time scale can make of a longer one: the virtual
// printers of the test bed answer within milliseconds, but a loaded two-core machine
// running them under a sanitizer can keep an answer back for a few hundred.
inline constexpr uint32_t kMinScaledTransferTimeOutMs = 500;

// A transfer time-out under a time scale: multiplied by the scale, but never below
// kMinScaledTransferTimeOutMs unless it was shorter to begin with; 0 (no limit) stays 0.
uint32_t ScaleTransferTimeOut(uint32_t milliseconds, double scale);

// The real clock. Every pause is multiplied by the factor in KILN_TIME_SCALE
// (default 1; read once); NowMs reports scaled time too, so that deadlines measured
// with it agree with the scaled pauses, and transfer time-outs follow the scale
// (ScaleTransferTimeOut).
Clock& SystemClock();

// Parses a KILN_TIME_SCALE value: a positive decimal factor, 1 for anything else.
double ParseTimeScale(const char* text);

}  // namespace kiln::platform
