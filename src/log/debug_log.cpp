#include "log/debug_log.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "platform/local_time.h"
#include "platform/log_stream.h"

namespace kiln::log {

namespace {
constexpr std::size_t kMessageBuffer = 1024;
constexpr std::size_t kDumpChunk = 1024;
constexpr std::size_t kDumpBuffer = 4096;
constexpr std::size_t kBytesPerLine = 16;
}  // namespace

void DebugLog::Open(std::FILE* stream, uint32_t level) {
  stream_.reset(stream);
  level_ = stream != nullptr ? level : 0;
}

bool DebugLog::OpenFromEnvironment() {
  const char* path = std::getenv("KILN_LOG_FILE");
  const char* levelText = std::getenv("KILN_LOG_LEVEL");
  if (path == nullptr || *path == '\0' || levelText == nullptr) return false;
  char* end = nullptr;
  const unsigned long level = std::strtoul(levelText, &end, 10);
  if (end == levelText || level == 0 || level > UINT32_MAX) return false;
  std::FILE* stream = platform::OpenLogStream(path);
  if (stream == nullptr) return false;
  Open(stream, static_cast<uint32_t>(level));
  return true;
}

void DebugLog::Reset() {
  stream_.reset();
  level_ = 0;
}

void DebugLog::LogPrint(uint32_t messageLevel, const char* format, ...) {
  if (!Wants(messageLevel)) return;
  char message[kMessageBuffer] = {};
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  std::fwrite(message, 1, std::strlen(message), stream_.get());
}

void DebugLog::LogHexDump(uint32_t messageLevel, const void* data, std::size_t length) {
  if (data == nullptr || length == 0 || !Wants(messageLevel)) return;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::fputs(length > kDumpChunk ? "--> \n" : "--> ", stream_.get());

  const auto* bytes = static_cast<const unsigned char*>(data);
  char text[kDumpBuffer];
  for (std::size_t offset = 0; offset < length; offset += kDumpChunk) {
    const std::size_t chunk = length - offset < kDumpChunk ? length - offset : kDumpChunk;
    std::size_t used = 0;
    for (std::size_t i = 0; i < chunk; ++i) {
      if (i != 0 && i % kBytesPerLine == 0) text[used++] = '\n';
      const unsigned char byte = bytes[offset + i];
      text[used++] = kHex[byte >> 4];
      text[used++] = kHex[byte & 0x0F];
      text[used++] = ' ';
    }
    text[used++] = '\n';
    text[used++] = '\n';
    std::fwrite(text, 1, used, stream_.get());
  }
  std::fputc('\n', stream_.get());
}

void DebugLog::LogClose(const std::function<void()>& closeChannel) {
  LogCloseAt(platform::LocalTime(std::time(nullptr)), closeChannel);
}

void DebugLog::LogCloseAt(const std::tm& localTime, const std::function<void()>& closeChannel) {
  if (closeChannel) closeChannel();
  if (!stream_) return;
  LogPrint(1,
           "========================== End  [%04d/%02d/%02d], [%02d:%02d:%02d] "
           "========================\n\n",
           localTime.tm_year + 1900, localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour,
           localTime.tm_min, localTime.tm_sec);
  stream_.reset();
}

}  // namespace kiln::log
