// The link's transfers: buffers cut into chunks, one bounded transfer per chunk, write
// retries, and closing a pipe whose transfer did not finish. The caller's buffers are
// used as they are; nothing here allocates.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "usb/usb_link.h"

namespace kiln::usb {

namespace {

using log::TraceAddress;
using platform::PipeResult;
using platform::PipeStatus;

// The most one transfer moves: a buffer goes out and comes in in pieces of this size.
constexpr uint32_t kChunkBytes = 0x40000;  // 256 KiB
constexpr uint32_t kFailedWriteDumpBytes = 10;

// How a transfer that did not finish ended, in words for the trace.
const char* EndingOf(PipeStatus status) {
  switch (status) {
    case PipeStatus::kDone:
      return "done";
    case PipeStatus::kTimedOut:
      return "timed out";
    case PipeStatus::kGone:
      return "printer gone";
    case PipeStatus::kDataError:
      return "data error";
    case PipeStatus::kRefused:
      return "refused by the node";
    case PipeStatus::kFailed:
      break;
  }
  return "failed";
}

// ", errno N (text)" for a failure with the operating system's error behind it; empty
// without one.
struct ErrnoNote {
  explicit ErrnoNote(const PipeResult& result) {
    if (result.error != 0) {
      std::snprintf(text, sizeof text, ", errno %d (%s)", result.error,
                    std::strerror(result.error));
    }
  }
  char text[96] = {};
};

}  // namespace

ResultCode CUsbLink::WriteData(const uint8_t* data, uint32_t count, uint32_t* written) {
  log_.LogPrint(2, "Begin CUsbLink::WriteData, bytes = %d, write pipe = %d, time-out = %d,\n",
                count, writePipe_.TraceHandle(), writeTimeOut_);
  uint32_t ignored = 0;
  uint32_t& total = written != nullptr ? *written : ignored;
  total = 0;
  if (data == nullptr) return ResultCode::kWritePointerInvalid;
  if (!writePipe_.IsOpen()) return ResultCode::kWritePipeInvalid;

  ResultCode result = ResultCode::kWritten;
  // The trace shows the link's time-out; the wait on the pipe is in real time.
  const uint32_t writeLimit = clock().TransferTimeOutMs(writeTimeOut_);
  const uint8_t* next = data;
  uint32_t remaining = count;
  while (remaining > 0) {
    const uint32_t piece = std::min(remaining, kChunkBytes);
    log_.LogHexDump(5, next, piece);
    uint32_t pieceWritten = 0;
    result = writePipe_.Write(next, piece, &pieceWritten, writeLimit, log_);
    log_.LogPrint(2, "CUsbLink::WriteData, chunk result 0x%02X, chunk = %d, written = %d,\n",
                  ToByte(result), piece, pieceWritten);
    total += pieceWritten;
    if (pieceWritten == 0) {
      // A chunk that moved nothing ends the write; reported as success it would be
      // sent again for ever, so it counts as no response.
      if (result == ResultCode::kWritten) result = ResultCode::kWriteNoResponse;
      break;
    }
    // A chunk that failed part-way (partial, file error) ends the write with its result:
    // the rest of the buffer must not go out behind a gap.
    if (result != ResultCode::kWritten) break;
    next += pieceWritten;
    remaining -= pieceWritten;
  }
  return result;
}

ResultCode CUsbLink::ReadData(uint8_t* data, uint32_t count, uint32_t* read) {
  log_.LogPrint(2, "Begin CUsbLink::ReadData, bytes = %d, read pipe = %d, time-out = %d,\n", count,
                readPipe_.TraceHandle(), readTimeOut_);
  uint32_t ignored = 0;
  uint32_t& total = read != nullptr ? *read : ignored;
  total = 0;
  if (data == nullptr) return ResultCode::kReadPointerInvalid;
  if (!readPipe_.IsOpen()) return ResultCode::kReadPipeInvalid;
  std::memset(data, 0, count);

  ResultCode result = ResultCode::kAnswered;
  const uint32_t readLimit = clock().TransferTimeOutMs(readTimeOut_);
  uint8_t* next = data;
  uint32_t remaining = count;
  while (remaining > 0) {
    const uint32_t piece = std::min(remaining, kChunkBytes);
    uint32_t pieceRead = 0;
    result = readPipe_.Read(next, piece, &pieceRead, readLimit, log_);
    log_.LogPrint(2, "CUsbLink::ReadData, chunk result 0x%02X, chunk = %d, read = %d\n",
                  ToByte(result), piece, pieceRead);
    total += pieceRead;
    if (pieceRead == 0) {
      // Same guard as for writes: an empty chunk reported as success would loop.
      if (result == ResultCode::kAnswered) result = ResultCode::kReadNothing;
      break;
    }
    next += pieceRead;
    remaining -= pieceRead;
  }
  return result;
}

ResultCode OutPipe::Write(const uint8_t* data, uint32_t len, uint32_t* written, uint32_t timeOutMs,
                          log::DebugLog& log) {
  *written = 0;
  if (!file_) return ResultCode::kPipeClosed;

  uint32_t emptyWrites = 0;
  const uint8_t* next = data;
  uint32_t remaining = len;
  for (;;) {
    log.LogPrint(3, "OutPipe::Write, write on node %d, len = %d, time-out = %d, data = 0x%08X\n",
                 TraceHandle(), remaining, timeOutMs, TraceAddress(next));
    const PipeResult result = file_->Write(next, remaining, timeOutMs);
    if (result.status != PipeStatus::kDone) {
      log.LogPrint(3, "OutPipe::Write, %s after %d bytes%s, written = %d, empty writes = %d\n",
                   EndingOf(result.status), result.bytes, ErrnoNote(result).text, *written,
                   emptyWrites);
      if (result.status == PipeStatus::kRefused && timeOutMs != 0) {
        // Nothing is under way on a node that refuses writes: the pipe stays usable.
        file_->Cancel();
        return ResultCode::kWriteFileError;
      }
      log.LogHexDump(3, next, std::min(remaining, kFailedWriteDumpBytes));
      Abandon();
      return result.status == PipeStatus::kDataError && timeOutMs != 0 ? ResultCode::kWriteCrc
                                                                       : ResultCode::kWriteTimeOut;
    }
    log.LogPrint(3, "OutPipe::Write, wrote %d of %d\n", result.bytes, remaining);
    if (timeOutMs == 0) {
      // Without a limit the write waited for the node to take everything it could.
      *written = result.bytes;
      return ResultCode::kWritten;
    }
    *written += result.bytes;
    if (result.bytes >= remaining) return ResultCode::kWritten;
    if (emptyWrites >= kWriteRetryLimit) break;
    if (result.bytes == 0) ++emptyWrites;
    next += result.bytes;
    remaining -= result.bytes;
  }
  // Retry limit: writes kept moving nothing.
  if (*written == 0) {
    file_->Cancel();
    return ResultCode::kWriteNoResponse;
  }
  return ResultCode::kWritePartial;
}

ResultCode InPipe::Read(uint8_t* data, uint32_t len, uint32_t* read, uint32_t timeOutMs,
                        log::DebugLog& log) {
  *read = 0;
  if (!file_) return ResultCode::kPipeClosed;
  std::memset(data, 0, len);

  log.LogPrint(3, "InPipe::Read, read on node %d, len = %d, time-out = %d\n", TraceHandle(), len,
               timeOutMs);
  const PipeResult result = file_->Read(data, len, timeOutMs);
  if (result.status != PipeStatus::kDone) {
    log.LogPrint(3, "InPipe::Read, %s%s\n", EndingOf(result.status), ErrnoNote(result).text);
    Abandon();
    return result.status == PipeStatus::kDataError && timeOutMs != 0 ? ResultCode::kReadCrc
                                                                     : ResultCode::kReadTimeOut;
  }
  *read = result.bytes;
  log.LogPrint(3, "InPipe::Read, read %d of %d\n", result.bytes, len);
  if (timeOutMs == 0 || len == 0) return ResultCode::kAnswered;
  if (result.bytes == 0) {
    file_->Cancel();
    return ResultCode::kReadNothing;
  }
  return result.bytes < len ? ResultCode::kReadShort : ResultCode::kAnswered;
}

}  // namespace kiln::usb
