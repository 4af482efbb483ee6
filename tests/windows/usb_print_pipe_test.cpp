// The overlapped pipe on a named pipe that stands in for a printer's device interface:
// the server end plays the printer.

#include "platform/windows/usb_print_pipe.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/printer_pipes.h"

namespace kiln::platform {
namespace {

TEST(PipeResultFromWin32Error, TranslatesEachErrorOfTheInterface) {
  struct Case {
    DWORD error;
    PipeStatus status;
  };
  const Case cases[] = {
      {ERROR_SUCCESS, PipeStatus::kDone},
      {ERROR_DEVICE_NOT_CONNECTED, PipeStatus::kGone},
      {ERROR_GEN_FAILURE, PipeStatus::kGone},
      {ERROR_FILE_NOT_FOUND, PipeStatus::kGone},
      {ERROR_BROKEN_PIPE, PipeStatus::kGone},
      {ERROR_PIPE_NOT_CONNECTED, PipeStatus::kGone},
      {WAIT_TIMEOUT, PipeStatus::kTimedOut},
      {ERROR_SEM_TIMEOUT, PipeStatus::kTimedOut},
      {ERROR_CRC, PipeStatus::kDataError},
      {ERROR_INVALID_FUNCTION, PipeStatus::kRefused},
      {ERROR_NOT_SUPPORTED, PipeStatus::kRefused},
      {ERROR_ACCESS_DENIED, PipeStatus::kFailed},
      {ERROR_OPERATION_ABORTED, PipeStatus::kFailed},
  };
  for (const Case& c : cases) {
    const PipeResult result = PipeResultFromWin32Error(c.error, 7);
    EXPECT_EQ(result.status, c.status) << "error " << c.error;
    EXPECT_EQ(result.bytes, 7u) << "error " << c.error;
    EXPECT_EQ(result.error, static_cast<int>(c.error)) << "error " << c.error;
  }
}

// The printer's end: a single-instance named pipe, so that a second open of the path
// fails unless the opener shares the first handle.
class PrinterEnd {
 public:
  PrinterEnd()
      : path_("\\\\.\\pipe\\kiln-pipe-test-" + std::to_string(::GetCurrentProcessId())),
        pipe_(::CreateNamedPipeA(path_.c_str(), PIPE_ACCESS_DUPLEX,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0,
                                 nullptr)) {}
  ~PrinterEnd() { Close(); }

  const char* path() const { return path_.c_str(); }
  bool valid() const { return pipe_ != INVALID_HANDLE_VALUE; }

  std::string Receive(DWORD len) {
    std::string data(len, '\0');
    DWORD got = 0;
    if (!::ReadFile(pipe_, data.data(), len, &got, nullptr)) return {};
    data.resize(got);
    return data;
  }
  bool Send(const std::string& data) {
    DWORD sent = 0;
    return ::WriteFile(pipe_, data.data(), static_cast<DWORD>(data.size()), &sent, nullptr) &&
           sent == data.size();
  }
  void Close() {
    if (pipe_ != INVALID_HANDLE_VALUE) ::CloseHandle(pipe_);
    pipe_ = INVALID_HANDLE_VALUE;
  }

 private:
  std::string path_;
  HANDLE pipe_;
};

TEST(UsbPrintPipe, WritesReadsTimesOutAndSeesThePrinterGo) {
  PrinterEnd printer;
  ASSERT_TRUE(printer.valid());
  std::unique_ptr<PipeFile> pipe = SystemPipeOpener().Open(printer.path());
  ASSERT_NE(pipe, nullptr);
  // A second pipe on the path shares the one open handle instead of opening again.
  std::unique_ptr<PipeFile> status = SystemPipeOpener().Open(printer.path());
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->TraceHandle(), pipe->TraceHandle());
  EXPECT_NE(pipe->TraceHandle(), 0);

  uint8_t answer[16] = {};
  const DWORD before = ::GetTickCount();
  PipeResult result = pipe->Read(answer, sizeof answer, 200);
  EXPECT_EQ(result.status, PipeStatus::kTimedOut);
  EXPECT_EQ(result.bytes, 0u);
  EXPECT_GE(::GetTickCount() - before, 150u);

  const std::string job = "\x1b%-12345X@PJL";
  result = pipe->Write(reinterpret_cast<const uint8_t*>(job.data()),
                       static_cast<uint32_t>(job.size()), 1000);
  EXPECT_EQ(result.status, PipeStatus::kDone);
  EXPECT_EQ(result.bytes, job.size());
  EXPECT_EQ(printer.Receive(64), job);

  ASSERT_TRUE(printer.Send("OK"));
  result = status->Read(answer, sizeof answer, 1000);
  EXPECT_EQ(result.status, PipeStatus::kDone);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(answer), result.bytes), "OK");

  printer.Close();
  result = pipe->Read(answer, sizeof answer, 1000);
  EXPECT_EQ(result.status, PipeStatus::kGone) << "error " << result.error;
}

TEST(UsbPrintPipe, MissingInterfaceDoesNotOpen) {
  EXPECT_EQ(SystemPipeOpener().Open("\\\\.\\pipe\\kiln-no-such-printer"), nullptr);
  EXPECT_EQ(SystemPipeOpener().Open(""), nullptr);
}

}  // namespace
}  // namespace kiln::platform
