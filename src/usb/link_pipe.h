#pragma once

#include <cstdint>
#include <memory>

#include "log/debug_log.h"
#include "platform/pipe_file.h"
#include "usb/result_code.h"

namespace kiln::usb {

// One bulk pipe of a link: the open pipe file. An InPipe only reads and an OutPipe only
// writes, so neither can stand where the other belongs. Each turns the pipe's PipeResult
// into the link's result code and closes the pipe where a transfer leaves it unusable.
class LinkPipe {
 public:
  void Open(std::unique_ptr<platform::PipeFile> file) { file_ = std::move(file); }
  void Close() { file_.reset(); }
  bool IsOpen() const { return file_ != nullptr; }
  // Abandons what an open pipe still has under way; it stays open.
  void Cancel() {
    if (file_) file_->Cancel();
  }
  // The number the trace shows for the pipe's handle; 0 for a closed pipe.
  int TraceHandle() const { return file_ ? file_->TraceHandle() : 0; }

 protected:
  // A transfer that did not finish leaves the pipe unusable: cancel, then close.
  void Abandon() {
    file_->Cancel();
    file_.reset();
  }

  std::unique_ptr<platform::PipeFile> file_;
};

class OutPipe final : public LinkPipe {
 public:
  // Writes len bytes in one bounded write per attempt, each waiting at most timeOutMs
  // (0: no limit); *written counts what went out. A write that moved only part goes on
  // with the rest; after kWriteRetryLimit more writes that moved nothing it gives up with
  // kWriteNoResponse (nothing went out; the pipe is cancelled and stays open) or
  // kWritePartial. A time-out, a departed printer or any failure closes the pipe with
  // kWriteTimeOut, a data error with kWriteCrc; a write the node refuses is cancelled
  // with kWriteFileError and the pipe stays open. Without a limit every failure closes
  // the pipe with kWriteTimeOut. kPipeClosed on a closed pipe.
  ResultCode Write(const uint8_t* data, uint32_t len, uint32_t* written, uint32_t timeOutMs,
                   log::DebugLog& log);

  static constexpr uint32_t kWriteRetryLimit = 5;
};

class InPipe final : public LinkPipe {
 public:
  // Reads at most len bytes in one bounded read, waiting at most timeOutMs (0: no limit);
  // the buffer is zeroed first. kAnswered with len bytes, kReadShort with fewer, and
  // kReadNothing (the pipe cancelled, still open) with none. A time-out, a departed
  // printer or any failure closes the pipe with kReadTimeOut, a data error with kReadCrc.
  // Without a limit whatever arrived is kAnswered and every failure kReadTimeOut.
  // kPipeClosed on a closed pipe.
  ResultCode Read(uint8_t* data, uint32_t len, uint32_t* read, uint32_t timeOutMs,
                  log::DebugLog& log);
};

}  // namespace kiln::usb
