#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"

namespace kiln::testing {

using platform::windows::UniqueHandle;

// A program path as Wine's processes can open it: a Unix path ("/work/...") through the
// drive Wine maps the root to.
inline std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

struct Finished {
  uint32_t exitCode = 0;
  std::string out;
  std::string err;
};

// Starts commandLine with standard output and error into pipes (or, for err, into out).
class ChildProcess {
 public:
  explicit ChildProcess(const std::string& commandLine) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!::CreatePipe(&outRead, &outWrite, &inherit, 0)) return;
    if (!::CreatePipe(&errRead, &errWrite, &inherit, 0)) return;
    out_ = UniqueHandle(outRead);
    err_ = UniqueHandle(errRead);
    UniqueHandle outChild(outWrite), errChild(errWrite);
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    std::wstring line = platform::windows::Wide(commandLine);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &started)) {
      return;
    }
    process_ = UniqueHandle(started.hProcess);
    UniqueHandle thread(started.hThread);
  }

  bool started() const { return process_.valid(); }

  // One line of standard output without its line end; empty at the end of the output.
  std::string ReadLine() {
    std::string line;
    char c = 0;
    DWORD got = 0;
    while (::ReadFile(out_.get(), &c, 1, &got, nullptr) && got == 1 && c != '\n') {
      if (c != '\r') line += c;
    }
    return line;
  }

  // Waits at most a minute for the end; the rest of both outputs.
  std::optional<Finished> Wait() {
    Finished finished;
    finished.out = ReadAll(out_.get());
    finished.err = ReadAll(err_.get());
    if (::WaitForSingleObject(process_.get(), 60000) != WAIT_OBJECT_0) {
      ::TerminateProcess(process_.get(), 99);
      return std::nullopt;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process_.get(), &code);
    finished.exitCode = code;
    return finished;
  }

 private:
  static std::string ReadAll(HANDLE pipe) {
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      text.append(buffer, got);
    }
    return text;
  }

  UniqueHandle out_, err_, process_;
};

}  // namespace kiln::testing
