// The link's transfers: buffers cut into chunks, one bounded transfer per chunk, write
// retries, and closing a pipe whose transfer did not complete. The caller's buffers are
// used as they are; nothing here allocates.

#include <algorithm>
#include <cstring>

#include "usb/usb_link.h"

namespace kiln::usb {

namespace {

using log::TraceAddress;
using platform::PipeTransfer;
namespace win_error = platform::win_error;

// A write that keeps completing with 0 bytes is given up after this many retries.
constexpr uint32_t kWriteRetryLimit = 5;
constexpr uint32_t kFailedWriteDumpBytes = 10;
// What the trace reports as the wait's outcome: the event signalled, or the time-out.
constexpr int kWaitObject0 = 0;
constexpr int kWaitTimeout = 258;

int WaitResult(const PipeTransfer& transfer) {
  return !transfer.completed && transfer.completionError == win_error::kIoIncomplete ? kWaitTimeout
                                                                                     : kWaitObject0;
}

// The error a failed transfer reports: its completion error, else the error it
// failed to start with.
uint32_t FailureError(const PipeTransfer& transfer) {
  return transfer.completionError != win_error::kNone ? transfer.completionError
                                                      : transfer.startError;
}

}  // namespace

int CUsbLink::HandleOf(const std::unique_ptr<platform::PipeFile>& pipe) {
  return pipe ? pipe->TraceHandle() : 0;
}

void CUsbLink::AbandonPipe(std::unique_ptr<platform::PipeFile>& pipe) {
  pipe->Cancel();
  pipe.reset();
}

ResultCode CUsbLink::WriteData(const uint8_t* data, uint32_t count, uint32_t* written) {
  log_.LogPrint(
      2, "Begin CUsbLink::WriteData, dwBytesToWrite = %d, m_hPipeW = %d, m_dwTimeOutW = %d,\n",
      count, HandleOf(m_hPipeW), m_dwTimeOutW);
  uint32_t ignored = 0;
  uint32_t& total = written != nullptr ? *written : ignored;
  total = 0;
  if (data == nullptr) return ResultCode::kWritePointerInvalid;
  if (!m_hPipeW) return ResultCode::kWritePipeInvalid;

  ResultCode result = ResultCode::kWritten;
  const uint8_t* next = data;
  uint32_t remaining = count;
  while (remaining > 0) {
    const uint32_t piece = std::min(remaining, chunk_);
    log_.LogHexDump(5, next, piece);
    uint32_t pieceWritten = 0;
    result = SingleWrite(m_hPipeW, next, piece, &pieceWritten, overlapW_, m_dwTimeOutW);
    log_.LogPrint(
        2, "CUsbLink::WriteData:: SingleWrite return 0x%02X, dwWriteLen = %d, BytesWritten = %d,\n",
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
  log_.LogPrint(2,
                "Begin CUsbLink::ReadData, dwBytesToRead = %d, m_hPipeR = %d, m_dwTimeOutR = %d,\n",
                count, HandleOf(m_hPipeR), m_dwTimeOutR);
  uint32_t ignored = 0;
  uint32_t& total = read != nullptr ? *read : ignored;
  total = 0;
  if (data == nullptr) return ResultCode::kReadPointerInvalid;
  if (!m_hPipeR) return ResultCode::kReadPipeInvalid;
  std::memset(data, 0, count);

  ResultCode result = ResultCode::kAnswered;
  uint8_t* next = data;
  uint32_t remaining = count;
  while (remaining > 0) {
    const uint32_t piece = std::min(remaining, chunk_);
    uint32_t pieceRead = 0;
    result = SingleRead(m_hPipeR, next, piece, &pieceRead, overlapR_, m_dwTimeOutR);
    log_.LogPrint(2,
                  "CUsbLink::ReadData:: SingleRead return 0x%02X, dwReadLen = %d, BytesRead = %d\n",
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

ResultCode CUsbLink::SingleWrite(std::unique_ptr<platform::PipeFile>& pipe, const uint8_t* data,
                                 uint32_t len, uint32_t* written, PipeTransfer& overlap,
                                 uint32_t timeOutMs) {
  *written = 0;
  if (!pipe) return ResultCode::kPipeClosed;

  if (timeOutMs == 0) {
    const PipeTransfer transfer = pipe->Write(data, len, 0);
    if (transfer.completedAtOnce || transfer.completed) {
      *written = transfer.bytes;
      return ResultCode::kWritten;
    }
    log_.LogPrint(3, "CUsbLink::SingleWrite, WriteFile return false, GetLastError = %d,\n",
                  FailureError(transfer));
    log_.LogPrint(3,
                  "Parameters:: hPipeW = %d, lpOutData = 0x%08X, dwLen = %d, dwWriteAmount = %d\n",
                  HandleOf(pipe), TraceAddress(data), len, *written);
    AbandonPipe(pipe);
    return ResultCode::kWriteTimeOut;
  }

  ResultCode result = ResultCode::kWritten;
  uint32_t retries = 0;
  const uint8_t* next = data;
  uint32_t remaining = len;
  overlap = PipeTransfer{};
  log_.LogPrint(3,
                "CUsbLink::SingleWrite, before WriteFile(hPipeW=%d), dwLen = %d, dwTimeOut = %d, "
                "lpOutData = 0x%08X\n",
                HandleOf(pipe), remaining, timeOutMs, TraceAddress(next));
  for (;;) {
    overlap = pipe->Write(next, remaining, timeOutMs);
    if (overlap.completedAtOnce) {
      *written += overlap.bytes;
      return result;
    }
    if (overlap.startError != win_error::kIoPending) {
      result = ResultCode::kWriteFileError;
      log_.LogPrint(
          3, "CUsbLink::SingleWrite, WriteFile return not ERROR_IO_PENDING, GetLastError = %d,\n",
          overlap.startError);
      log_.LogPrint(3,
                    "Parameters:: hPipeW = %d, lpOutData = 0x%08X, dwLen = %d, dwWriteAmount = %d, "
                    "&Overlap = 0x%08X,\n",
                    HandleOf(pipe), TraceAddress(next), remaining, *written,
                    TraceAddress(&overlap));
      if (overlap.startError == win_error::kInvalidFunction) {
        pipe->Cancel();
        return ResultCode::kWriteFileError;
      }
    }
    log_.LogPrint(3, "CUsbLink::SingleWrite, WaitForSingleObject return = %d,\n",
                  WaitResult(overlap));
    if (!overlap.completed) {
      const uint32_t error = FailureError(overlap);
      log_.LogPrint(3,
                    "CUsbLink::SingleWrite, GetOverlapResult return false, dwWritten = %d, "
                    "dwLastError = %d, dwRetry = %d\n",
                    *written, error, retries);
      log_.LogHexDump(3, next, std::min(remaining, kFailedWriteDumpBytes));
      AbandonPipe(pipe);
      return error == win_error::kCrc ? ResultCode::kWriteCrc : ResultCode::kWriteTimeOut;
    }
    *written += overlap.bytes;
    log_.LogPrint(3,
                  "CUsbLink::SingleWrite, GetOverlapResult return true, dwWriteAmount = %d, "
                  "dwLastError = %d\n",
                  overlap.bytes, overlap.completionError);
    if (overlap.bytes >= remaining) {
      if (retries < kWriteRetryLimit) return result;
      break;
    }
    if (retries >= kWriteRetryLimit) break;
    if (overlap.bytes == 0) ++retries;
    next += overlap.bytes;
    remaining -= overlap.bytes;
    log_.LogPrint(3,
                  "CUsbLink::SingleWrite, before WriteFile(hPipeW=%d), dwLen = %d, dwTimeOut = %d, "
                  "lpOutData = 0x%08X\n",
                  HandleOf(pipe), remaining, timeOutMs, TraceAddress(next));
  }
  // Retry limit: completions kept writing nothing.
  if (*written == 0) {
    pipe->Cancel();
    return ResultCode::kWriteNoResponse;
  }
  return *written < len ? ResultCode::kWritePartial : result;
}

ResultCode CUsbLink::SingleRead(std::unique_ptr<platform::PipeFile>& pipe, uint8_t* data,
                                uint32_t len, uint32_t* read, PipeTransfer& overlap,
                                uint32_t timeOutMs) {
  *read = 0;
  if (!pipe) return ResultCode::kPipeClosed;
  std::memset(data, 0, len);

  if (timeOutMs == 0) {
    const PipeTransfer transfer = pipe->Read(data, len, 0);
    if (transfer.completedAtOnce || transfer.completed) {
      *read = transfer.bytes;
      return ResultCode::kAnswered;
    }
    log_.LogPrint(3, "CUsbLink::SingleRead, ReadFile return false, GetLastError = %d,\n",
                  FailureError(transfer));
    log_.LogPrint(3, "Parameters:: hPipeR = %d, lpInData = %d, dwLen = %d, dwReadAmount = %d\n",
                  HandleOf(pipe), TraceAddress(data), len, *read);
    AbandonPipe(pipe);
    return ResultCode::kReadTimeOut;
  }

  overlap = PipeTransfer{};
  log_.LogPrint(
      3,
      "Begin CUsbLink::SingleRead, before ReadFile, hPipeR = %d, dwLen = %d, dwReadAmount = %d\n",
      HandleOf(pipe), len, *read);
  overlap = pipe->Read(data, len, timeOutMs);
  if (overlap.completedAtOnce) {
    *read = overlap.bytes;
    return ResultCode::kAnswered;
  }
  log_.LogPrint(3, "CUsbLink::SingleRead, after ReadFile(), dwLastError = %d\n",
                overlap.startError);
  ResultCode result = ResultCode::kAnswered;
  if (overlap.startError != win_error::kIoPending) {
    result = ResultCode::kReadFileError;
    log_.LogPrint(3,
                  "CUsbLink::SingleRead, ReadFile return not ERROR_IO_PENDING, GetLastError = %d, "
                  "\nParameters:: hPipeR = %d, lpInData = %d, dwLen = %d, dwReadAmount = %d, "
                  "&Overlap = 0x%08X,\n",
                  overlap.startError, HandleOf(pipe), TraceAddress(data), len, *read,
                  TraceAddress(&overlap));
  }
  log_.LogPrint(3, "CUsbLink::SingleRead, WaitForSingleObject return = %d\n", WaitResult(overlap));
  if (!overlap.completed) {
    const uint32_t error = FailureError(overlap);
    log_.LogPrint(3, "CUsbLink::SingleRead, GetOverlapResult return false, dwLastError = %d,\n",
                  error);
    AbandonPipe(pipe);
    return error == win_error::kCrc ? ResultCode::kReadCrc : ResultCode::kReadTimeOut;
  }
  *read = overlap.bytes;
  if (len != 0) {
    if (overlap.bytes == 0) {
      result = ResultCode::kReadNothing;
      pipe->Cancel();
    } else if (overlap.bytes < len) {
      result = ResultCode::kReadShort;
    }
  }
  log_.LogPrint(
      3, "CUsbLink::SingleRead, GetOverlapResult return true, dwReadAmount = %d, dwError = %d\n",
      overlap.bytes, overlap.completionError);
  return result;
}

}  // namespace kiln::usb
