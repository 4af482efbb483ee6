#pragma once

#include <cstdint>

#include "log/debug_log.h"
#include "platform/clock.h"
#include "usb/result_code.h"

namespace kiln::usb {

// What the command protocol needs of an open printer channel: whole-buffer transfers
// with the link's time-outs, the inter-process I/O right around a transaction, the
// cancel of pending I/O, the model the channel was opened for, the link's trace and
// clock. `CUsbLink` is the production channel; protocol unit tests use small doubles.
class CommandChannel {
 public:
  virtual ~CommandChannel() = default;
  virtual ResultCode WriteData(const uint8_t* data, uint32_t count, uint32_t* written) = 0;
  virtual ResultCode ReadData(uint8_t* data, uint32_t count, uint32_t* read) = 0;
  virtual bool WaitIORight() = 0;
  virtual bool ReleaseIORight() = 0;
  virtual void CancelPipes() = 0;
  virtual uint32_t modelSerial() const = 0;
  virtual log::DebugLog& log() = 0;
  virtual platform::Clock& clock() = 0;
};

}  // namespace kiln::usb
