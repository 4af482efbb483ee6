#pragma once

#include <cstdint>
#include <string_view>

#include "log/debug_log.h"
#include "platform/clock.h"
#include "platform/pipe_file.h"
#include "usb/command_channel.h"

namespace kiln::fuzz {

// A clock whose pauses return at once; time advances by what was asked.
class InstantClock final : public platform::Clock {
 public:
  void Sleep(uint32_t milliseconds) override { now_ += milliseconds; }
  uint64_t NowMs() override { return now_; }

 private:
  uint64_t now_ = 0;
};

// The bytes a printer answers with, handed out to reads in order. A read that asks for
// more than is left gets the rest and then nothing, as from a printer gone silent.
class AnswerStream {
 public:
  explicit AnswerStream(std::string_view bytes = {}) : bytes_(bytes) {}
  uint32_t Take(uint8_t* out, uint32_t count) {
    const uint32_t n = count < bytes_.size() ? count : static_cast<uint32_t>(bytes_.size());
    for (uint32_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(bytes_[i]);
    bytes_.remove_prefix(n);
    return n;
  }
  bool Empty() const { return bytes_.empty(); }

 private:
  std::string_view bytes_;
};

// A printer channel whose every read is answered from the stream; writes always go out.
class FuzzChannel final : public usb::CommandChannel {
 public:
  FuzzChannel(AnswerStream& answers, uint32_t model) : answers_(answers), model_(model) {}
  void SetModel(uint32_t model) { model_ = model; }

  usb::ResultCode WriteData(const uint8_t* /*data*/, uint32_t count, uint32_t* written) override {
    if (written != nullptr) *written = count;
    return usb::ResultCode::kWritten;
  }
  usb::ResultCode ReadData(uint8_t* data, uint32_t count, uint32_t* read) override {
    const uint32_t n = answers_.Take(data, count);
    if (read != nullptr) *read = n;
    return n == count ? usb::ResultCode::kAnswered : usb::ResultCode::kReadTimeOut;
  }
  bool WaitIORight() override { return true; }
  bool ReleaseIORight() override { return true; }
  void CancelPipes() override {}
  uint32_t modelSerial() const override { return model_; }
  log::DebugLog& log() override { return log_; }
  platform::Clock& clock() override { return clock_; }

 private:
  AnswerStream& answers_;
  uint32_t model_;
  log::DebugLog log_;
  InstantClock clock_;
};

// A bulk pipe for the real link: writes complete at once, reads are served from the
// stream and time out when it runs dry.
class FuzzPipe final : public platform::PipeFile {
 public:
  explicit FuzzPipe(AnswerStream& answers) : answers_(answers) {}

  platform::PipeResult Write(const uint8_t* /*data*/, uint32_t len,
                             uint32_t /*timeoutMs*/) override {
    return {platform::PipeStatus::kDone, len, 0};
  }
  platform::PipeResult Read(uint8_t* data, uint32_t len, uint32_t /*timeoutMs*/) override {
    const uint32_t taken = answers_.Take(data, len);
    return {taken == 0 ? platform::PipeStatus::kTimedOut : platform::PipeStatus::kDone, taken, 0};
  }
  void Cancel() override {}

 private:
  AnswerStream& answers_;
};

}  // namespace kiln::fuzz
