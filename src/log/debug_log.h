#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

namespace kiln::log {

// Addresses appear in the trace as 32-bit hex numbers.
inline unsigned TraceAddress(const void* address) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(address));
}

// The leveled trace of transport and protocol, one sink per printer link. Level 0 or
// no stream means off: every call then returns at once.
//
// Levels: 1 summaries and the closing banner, 2 transaction details, 3 per-transfer
// details, 5 data dumps.
class DebugLog {
 public:
  DebugLog() = default;
  ~DebugLog() = default;
  DebugLog(const DebugLog&) = delete;
  DebugLog& operator=(const DebugLog&) = delete;

  // Switches the sink on with a stream it owns from now on (nullptr: stays off).
  void Open(std::FILE* stream, uint32_t level);
  // Switches the sink on from KILN_LOG_FILE (a path, opened for append) and
  // KILN_LOG_LEVEL (a number). Off when either is missing or the file cannot be opened
  // or is no regular file (a FIFO, a device, a folder).
  bool OpenFromEnvironment();
  // Back to off, without a banner (the link's reset).
  void Reset();

  uint32_t level() const { return level_; }
  bool IsOpen() const { return stream_ != nullptr; }
  // Whether a message of this level would be written.
  bool Wants(uint32_t messageLevel) const {
    return level_ != 0 && stream_ != nullptr && messageLevel <= level_;
  }

  // A printf-style trace line, written as formatted (cut at 1023 characters).
  void LogPrint(uint32_t messageLevel, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  // "--> " and the bytes as upper-case hex, 16 a line, in chunks of 1024 bytes.
  void LogHexDump(uint32_t messageLevel, const void* data, std::size_t length);
  // The end of the link's use: runs closeChannel first (always), then writes the
  // closing banner with the local time and closes the stream.
  void LogClose(const std::function<void()>& closeChannel = {});
  // As LogClose, with the time given (for exact-format checks).
  void LogCloseAt(const std::tm& localTime, const std::function<void()>& closeChannel = {});

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  uint32_t level_ = 0;
  std::unique_ptr<std::FILE, FileCloser> stream_;
};

}  // namespace kiln::log
