#pragma once

#include <cstdint>

namespace kiln::usb {

// One-byte result of a transfer or command transaction. Returned, never thrown; a
// caller that drops one gets a compiler warning.
enum class [[nodiscard]] ResultCode : uint8_t{
    kNothingSent = 0x00,          // a chunked send with nothing to send
    kWritten = 0x10,              // write complete
    kWritePointerInvalid = 0x13,  // WriteData given no buffer
    kWritePipeInvalid = 0x14,     // WriteData with no write pipe
    kWriteFileError = 0x15,       // the write failed to start
    kWriteTimeOut = 0x16,         // the write did not complete; the pipe is closed
    kWriteNoResponse = 0x17,      // retry limit, nothing written
    kWritePartial = 0x18,         // retry limit, part written
    kWriteCrc = 0x19,             // CRC error; the pipe is closed
    kAnswered = 0x20,             // read complete / answered successfully
    kBadResponseHeader = 0x21,
    kShortResponse = 0x22,
    kReadPointerInvalid = 0x23,  // ReadData given no buffer
    kReadPipeInvalid = 0x24,     // ReadData with no read pipe
    kReadFileError = 0x25,       // the read failed to start
    kReadTimeOut = 0x26,         // the read did not complete; the pipe is closed
    kReadNothing = 0x27,         // the read completed with 0 bytes
    kReadShort = 0x28,           // the read completed with fewer bytes than asked
    kReadCrc = 0x29,             // CRC error; the pipe is closed
    kPipeClosed = 0x42,          // a read or write on a closed pipe
    kNoLink = 0x61,
    kPayloadTooLong = 0x71,
};

constexpr uint8_t ToByte(ResultCode code) {
  return static_cast<uint8_t>(code);
}

}  // namespace kiln::usb
