#pragma once

#include <cstdint>
#include <memory>

namespace kiln::platform {

// Windows error codes that the link's trace lines and result codes are defined by. The
// Linux pipe implementation maps errno values to these in exactly one place.
namespace win_error {
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kInvalidFunction = 1;
inline constexpr uint32_t kGenFailure = 31;  // the device went away
inline constexpr uint32_t kCrc = 23;         // data error (cyclic redundancy check)
inline constexpr uint32_t kOperationAborted = 995;
inline constexpr uint32_t kIoIncomplete = 996;  // not finished when the wait ended
inline constexpr uint32_t kIoPending = 997;
}  // namespace win_error

// What one bulk transfer did, in the two steps the link traces: the start of the
// transfer, then its completion after waiting at most the time-out.
struct PipeTransfer {
  // Start: true when the data moved before the call returned (no wait needed).
  bool completedAtOnce = false;
  // Start: when not at once, kIoPending or the error the start failed with.
  uint32_t startError = win_error::kNone;
  // Completion: false when the transfer had not finished when the wait ended, or failed.
  bool completed = false;
  // Completion: kNone, kIoIncomplete (time-out), kCrc, or the failure's error.
  uint32_t completionError = win_error::kNone;
  // Bytes moved (valid when completedAtOnce or completed).
  uint32_t bytes = 0;
};

// One open bulk pipe of a printer: the device node on Linux, the in-process virtual
// printer in unit tests. A transfer moves at most len bytes; timeoutMs 0 waits without
// limit. A transfer that does not finish in time is abandoned (its data may or may not
// have moved; the link closes the pipe afterwards, as it must).
class PipeFile {
 public:
  virtual ~PipeFile() = default;
  virtual PipeTransfer Write(const uint8_t* data, uint32_t len, uint32_t timeoutMs) = 0;
  virtual PipeTransfer Read(uint8_t* data, uint32_t len, uint32_t timeoutMs) = 0;
  // Abandons pending I/O (the link's CancelIo).
  virtual void Cancel() = 0;
  // The number that stands for this pipe's handle in trace lines (the file descriptor
  // on Linux); never 0, which the traces use for "no pipe".
  virtual int TraceHandle() const { return 1; }
};

// Opens a pipe by device path (read-write); nullptr when it cannot be opened.
class PipeOpener {
 public:
  virtual ~PipeOpener() = default;
  virtual std::unique_ptr<PipeFile> Open(const char* devicePath) = 0;
};

}  // namespace kiln::platform
