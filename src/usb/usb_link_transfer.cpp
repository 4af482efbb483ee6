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

ResultCode CUsbLink::WriteData(const uint8_t* data, uint32_t count, uint32_t* written) {
  log_.LogPrint(
      2, "Begin CUsbLink::WriteData, dwBytesToWrite = %d, m_hPipeW = %d, m_dwTimeOutW = %d,\n",
      count, m_hPipeW.TraceHandle(), m_dwTimeOutW);
  uint32_t ignored = 0;
  uint32_t& total = written != nullptr ? *written : ignored;
  total = 0;
  if (data == nullptr) return ResultCode::kWritePointerInvalid;
  if (!m_hPipeW.IsOpen()) return ResultCode::kWritePipeInvalid;

  ResultCode result = ResultCode::kWritten;
  // The trace shows the link's time-out; the wait on the pipe is in real time.
  const uint32_t writeLimit = clock().TransferTimeOutMs(m_dwTimeOutW);
  const uint8_t* next = data;
  uint32_t remaining = count;
  while (remaining > 0) {
    const uint32_t piece = std::min(remaining, chunk_);
    log_.LogHexDump(5, next, piece);
    uint32_t pieceWritten = 0;
    result = m_hPipeW.SingleWrite(next, piece, &pieceWritten, writeLimit, log_);
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
                count, m_hPipeR.TraceHandle(), m_dwTimeOutR);
  uint32_t ignored = 0;
  uint32_t& total = read != nullptr ? *read : ignored;
  total = 0;
  if (data == nullptr) return ResultCode::kReadPointerInvalid;
  if (!m_hPipeR.IsOpen()) return ResultCode::kReadPipeInvalid;
  std::memset(data, 0, count);

  ResultCode result = ResultCode::kAnswered;
  const uint32_t readLimit = clock().TransferTimeOutMs(m_dwTimeOutR);
  uint8_t* next = data;
  uint32_t remaining = count;
  while (remaining > 0) {
    const uint32_t piece = std::min(remaining, chunk_);
    uint32_t pieceRead = 0;
    result = m_hPipeR.SingleRead(next, piece, &pieceRead, readLimit, log_);
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

ResultCode OutPipe::SingleWrite(const uint8_t* data, uint32_t len, uint32_t* written,
                                uint32_t timeOutMs, log::DebugLog& log) {
  *written = 0;
  if (!file_) return ResultCode::kPipeClosed;

  if (timeOutMs == 0) {
    const PipeTransfer transfer = file_->Write(data, len, 0);
    if (transfer.completedAtOnce || transfer.completed) {
      *written = transfer.bytes;
      return ResultCode::kWritten;
    }
    log.LogPrint(3, "CUsbLink::SingleWrite, WriteFile return false, GetLastError = %d,\n",
                 FailureError(transfer));
    log.LogPrint(3,
                 "Parameters:: hPipeW = %d, lpOutData = 0x%08X, dwLen = %d, dwWriteAmount = %d\n",
                 TraceHandle(), TraceAddress(data), len, *written);
    Abandon();
    return ResultCode::kWriteTimeOut;
  }

  ResultCode result = ResultCode::kWritten;
  uint32_t retries = 0;
  const uint8_t* next = data;
  uint32_t remaining = len;
  transfer_ = PipeTransfer{};
  log.LogPrint(3,
               "CUsbLink::SingleWrite, before WriteFile(hPipeW=%d), dwLen = %d, dwTimeOut = %d, "
               "lpOutData = 0x%08X\n",
               TraceHandle(), remaining, timeOutMs, TraceAddress(next));
  for (;;) {
    transfer_ = file_->Write(next, remaining, timeOutMs);
    if (transfer_.completedAtOnce) {
      *written += transfer_.bytes;
      return result;
    }
    if (transfer_.startError != win_error::kIoPending) {
      result = ResultCode::kWriteFileError;
      log.LogPrint(
          3, "CUsbLink::SingleWrite, WriteFile return not ERROR_IO_PENDING, GetLastError = %d,\n",
          transfer_.startError);
      log.LogPrint(3,
                   "Parameters:: hPipeW = %d, lpOutData = 0x%08X, dwLen = %d, dwWriteAmount = %d, "
                   "&Overlap = 0x%08X,\n",
                   TraceHandle(), TraceAddress(next), remaining, *written,
                   TraceAddress(&transfer_));
      if (transfer_.startError == win_error::kInvalidFunction) {
        file_->Cancel();
        return ResultCode::kWriteFileError;
      }
    }
    log.LogPrint(3, "CUsbLink::SingleWrite, WaitForSingleObject return = %d,\n",
                 WaitResult(transfer_));
    if (!transfer_.completed) {
      const uint32_t error = FailureError(transfer_);
      log.LogPrint(3,
                   "CUsbLink::SingleWrite, GetOverlapResult return false, dwWritten = %d, "
                   "dwLastError = %d, dwRetry = %d\n",
                   *written, error, retries);
      log.LogHexDump(3, next, std::min(remaining, kFailedWriteDumpBytes));
      Abandon();
      return error == win_error::kCrc ? ResultCode::kWriteCrc : ResultCode::kWriteTimeOut;
    }
    *written += transfer_.bytes;
    log.LogPrint(3,
                 "CUsbLink::SingleWrite, GetOverlapResult return true, dwWriteAmount = %d, "
                 "dwLastError = %d\n",
                 transfer_.bytes, transfer_.completionError);
    if (transfer_.bytes >= remaining) {
      if (retries < kWriteRetryLimit) return result;
      break;
    }
    if (retries >= kWriteRetryLimit) break;
    if (transfer_.bytes == 0) ++retries;
    next += transfer_.bytes;
    remaining -= transfer_.bytes;
    log.LogPrint(3,
                 "CUsbLink::SingleWrite, before WriteFile(hPipeW=%d), dwLen = %d, dwTimeOut = %d, "
                 "lpOutData = 0x%08X\n",
                 TraceHandle(), remaining, timeOutMs, TraceAddress(next));
  }
  // Retry limit: completions kept writing nothing.
  if (*written == 0) {
    file_->Cancel();
    return ResultCode::kWriteNoResponse;
  }
  return *written < len ? ResultCode::kWritePartial : result;
}

ResultCode InPipe::SingleRead(uint8_t* data, uint32_t len, uint32_t* read, uint32_t timeOutMs,
                              log::DebugLog& log) {
  *read = 0;
  if (!file_) return ResultCode::kPipeClosed;
  std::memset(data, 0, len);

  if (timeOutMs == 0) {
    const PipeTransfer transfer = file_->Read(data, len, 0);
    if (transfer.completedAtOnce || transfer.completed) {
      *read = transfer.bytes;
      return ResultCode::kAnswered;
    }
    log.LogPrint(3, "CUsbLink::SingleRead, ReadFile return false, GetLastError = %d,\n",
                 FailureError(transfer));
    log.LogPrint(3, "Parameters:: hPipeR = %d, lpInData = %d, dwLen = %d, dwReadAmount = %d\n",
                 TraceHandle(), TraceAddress(data), len, *read);
    Abandon();
    return ResultCode::kReadTimeOut;
  }

  transfer_ = PipeTransfer{};
  log.LogPrint(
      3,
      "Begin CUsbLink::SingleRead, before ReadFile, hPipeR = %d, dwLen = %d, dwReadAmount = %d\n",
      TraceHandle(), len, *read);
  transfer_ = file_->Read(data, len, timeOutMs);
  if (transfer_.completedAtOnce) {
    *read = transfer_.bytes;
    return ResultCode::kAnswered;
  }
  log.LogPrint(3, "CUsbLink::SingleRead, after ReadFile(), dwLastError = %d\n",
               transfer_.startError);
  ResultCode result = ResultCode::kAnswered;
  if (transfer_.startError != win_error::kIoPending) {
    result = ResultCode::kReadFileError;
    log.LogPrint(3,
                 "CUsbLink::SingleRead, ReadFile return not ERROR_IO_PENDING, GetLastError = %d, "
                 "\nParameters:: hPipeR = %d, lpInData = %d, dwLen = %d, dwReadAmount = %d, "
                 "&Overlap = 0x%08X,\n",
                 transfer_.startError, TraceHandle(), TraceAddress(data), len, *read,
                 TraceAddress(&transfer_));
  }
  log.LogPrint(3, "CUsbLink::SingleRead, WaitForSingleObject return = %d\n", WaitResult(transfer_));
  if (!transfer_.completed) {
    const uint32_t error = FailureError(transfer_);
    log.LogPrint(3, "CUsbLink::SingleRead, GetOverlapResult return false, dwLastError = %d,\n",
                 error);
    Abandon();
    return error == win_error::kCrc ? ResultCode::kReadCrc : ResultCode::kReadTimeOut;
  }
  *read = transfer_.bytes;
  if (len != 0) {
    if (transfer_.bytes == 0) {
      result = ResultCode::kReadNothing;
      file_->Cancel();
    } else if (transfer_.bytes < len) {
      result = ResultCode::kReadShort;
    }
  }
  log.LogPrint(
      3, "CUsbLink::SingleRead, GetOverlapResult return true, dwReadAmount = %d, dwError = %d\n",
      transfer_.bytes, transfer_.completionError);
  return result;
}

}  // namespace kiln::usb
