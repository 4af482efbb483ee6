#pragma once

#include <cstdint>
#include <memory>

#include "log/debug_log.h"
#include "platform/pipe_file.h"
#include "usb/result_code.h"

namespace kiln::usb {

// One bulk pipe of a link: the open pipe file and the state of its last transfer. An
// InPipe only reads and an OutPipe only writes, so neither can stand where the other
// belongs.
class LinkPipe {
 public:
  void Open(std::unique_ptr<platform::PipeFile> file) {
    file_ = std::move(file);
    transfer_ = platform::PipeTransfer{};
  }
  void Close() { file_.reset(); }
  bool IsOpen() const { return file_ != nullptr; }
  // CancelIo on an open pipe.
  void Cancel() {
    if (file_) file_->Cancel();
  }
  // The number the trace shows for the pipe's handle; 0 for a closed pipe.
  int TraceHandle() const { return file_ ? file_->TraceHandle() : 0; }

 protected:
  // A transfer that did not complete leaves the pipe unusable: CancelIo, then close.
  void Abandon() {
    file_->Cancel();
    file_.reset();
  }

  std::unique_ptr<platform::PipeFile> file_;
  platform::PipeTransfer transfer_;
};

class OutPipe final : public LinkPipe {
 public:
  // At most len bytes in one bounded transfer, retrying completions that wrote nothing
  // up to a limit; timeOutMs 0 waits without limit.
  ResultCode SingleWrite(const uint8_t* data, uint32_t len, uint32_t* written, uint32_t timeOutMs,
                         log::DebugLog& log);
};

class InPipe final : public LinkPipe {
 public:
  // At most len bytes in one bounded transfer; timeOutMs 0 waits without limit.
  ResultCode SingleRead(uint8_t* data, uint32_t len, uint32_t* read, uint32_t timeOutMs,
                        log::DebugLog& log);
};

}  // namespace kiln::usb
