#include "platform/windows/usb_print_pipe.h"

#include <memory>
#include <string>

#include "platform/printer_pipes.h"
#include "platform/shared_files.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"

namespace kiln::platform {

PipeResult PipeResultFromWin32Error(DWORD error, uint32_t bytes) {
  PipeResult result{PipeStatus::kFailed, bytes, static_cast<int>(error)};
  switch (error) {
    case ERROR_SUCCESS:
      result.status = PipeStatus::kDone;
      break;
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_GEN_FAILURE:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_BROKEN_PIPE:
    case ERROR_PIPE_NOT_CONNECTED:
      result.status = PipeStatus::kGone;
      break;
    case WAIT_TIMEOUT:
    case ERROR_SEM_TIMEOUT:
      result.status = PipeStatus::kTimedOut;
      break;
    case ERROR_CRC:
      result.status = PipeStatus::kDataError;
      break;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
      result.status = PipeStatus::kRefused;
      break;
    default:
      break;
  }
  return result;
}

namespace {

using windows::UniqueHandle;

// One open handle of a device interface, shared by every pipe opened on its path: the
// printer class driver, like usblp, serves one open at a time.
using InterfaceFile = UniqueHandle;

// One overlapped transfer at a time, with the event it signals when it ends. The
// interface ignores file offsets, so every transfer names offset 0.
class Transfer {
 public:
  Transfer() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

  bool ready() const { return event_.valid(); }

  // Runs the started transfer (the answer of ReadFile or WriteFile given Start()) to its
  // end, waiting at most timeoutMs (0: no limit).
  PipeResult Finish(HANDLE file, BOOL started, uint32_t timeoutMs) {
    if (!started) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_IO_PENDING) return PipeResultFromWin32Error(error, 0);
      const DWORD wait = ::WaitForSingleObject(event_.get(), timeoutMs == 0 ? INFINITE : timeoutMs);
      if (wait != WAIT_OBJECT_0) return Abandon(file, wait);
    }
    DWORD moved = 0;
    if (!::GetOverlappedResult(file, &overlapped_, &moved, FALSE)) {
      return PipeResultFromWin32Error(::GetLastError(), moved);
    }
    return PipeResultFromWin32Error(ERROR_SUCCESS, moved);
  }

  // A fresh OVERLAPPED for the next transfer, its event reset.
  OVERLAPPED* Start() {
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = event_.get();
    ::ResetEvent(event_.get());
    return &overlapped_;
  }

  // Ends a transfer whose wait ran out (or failed): cancels it and waits for it, so that
  // the buffer is free again on return. One that finished meanwhile counts as done; the
  // cancel this asked for ends it as aborted, which is the time-out.
  PipeResult Abandon(HANDLE file, DWORD wait) {
    ::CancelIoEx(file, &overlapped_);
    DWORD moved = 0;
    if (::GetOverlappedResult(file, &overlapped_, &moved, TRUE)) {
      return PipeResultFromWin32Error(ERROR_SUCCESS, moved);
    }
    const DWORD error = ::GetLastError();
    return PipeResultFromWin32Error(
        wait == WAIT_TIMEOUT && error == ERROR_OPERATION_ABORTED ? WAIT_TIMEOUT : error, moved);
  }

  // Cancels this transfer if it is under way; its Finish then ends it.
  void Cancel(HANDLE file) { ::CancelIoEx(file, &overlapped_); }

 private:
  UniqueHandle event_;
  OVERLAPPED overlapped_{};
};

class UsbPrintPipe final : public PipeFile {
 public:
  explicit UsbPrintPipe(std::shared_ptr<InterfaceFile> file) : file_(std::move(file)) {}

  bool ready() const { return write_.ready() && read_.ready(); }

  PipeResult Write(const uint8_t* data, uint32_t len, uint32_t timeoutMs) override {
    if (len == 0) return PipeResultFromWin32Error(ERROR_SUCCESS, 0);
    const HANDLE file = file_->get();
    const BOOL started = ::WriteFile(file, data, len, nullptr, write_.Start());
    return write_.Finish(file, started, timeoutMs);
  }

  // A transfer that ends with nothing is a zero-length packet: done with 0 bytes.
  PipeResult Read(uint8_t* data, uint32_t len, uint32_t timeoutMs) override {
    if (len == 0) return PipeResultFromWin32Error(ERROR_SUCCESS, 0);
    const HANDLE file = file_->get();
    const BOOL started = ::ReadFile(file, data, len, nullptr, read_.Start());
    return read_.Finish(file, started, timeoutMs);
  }

  // Cancels only this pipe's transfers: others share the handle.
  void Cancel() override {
    write_.Cancel(file_->get());
    read_.Cancel(file_->get());
  }

  // Handles are multiples of 4 and never 0; the low bits make a fine trace number.
  int TraceHandle() const override {
    return static_cast<int>(reinterpret_cast<intptr_t>(file_->get()));
  }

 private:
  std::shared_ptr<InterfaceFile> file_;
  Transfer write_;
  Transfer read_;
};

class UsbPrintPipeOpener final : public PipeOpener {
 public:
  std::unique_ptr<PipeFile> Open(const char* devicePath) override {
    if (devicePath == nullptr || *devicePath == '\0') return nullptr;
    std::shared_ptr<InterfaceFile> file = files_.Get(devicePath, [devicePath] {
      const std::wstring path = windows::Wide(devicePath);
      InterfaceFile opened(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OVERLAPPED, nullptr));
      return opened.valid() ? std::make_shared<InterfaceFile>(std::move(opened)) : nullptr;
    });
    if (!file) return nullptr;
    auto pipe = std::make_unique<UsbPrintPipe>(std::move(file));
    if (!pipe->ready()) return nullptr;
    return pipe;
  }

 private:
  SharedFiles<InterfaceFile> files_;
};

}  // namespace

PipeOpener& SystemPipeOpener() {
  static UsbPrintPipeOpener opener;
  return opener;
}

// Every printer is reached through its device interface.
PipeOpener& SystemPrinterPipes() {
  return SystemPipeOpener();
}

}  // namespace kiln::platform
