#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "log/debug_log.h"
#include "support/fake_clock.h"
#include "usb/command_channel.h"

namespace kiln::testing {

// A printer channel for protocol unit tests: it records every write and every I/O-right
// call in order, and serves reads from queued answer bytes. A read asking for more than
// is queued gets what there is and the link's time-out result, as a silent printer would.
class ScriptedChannel final : public usb::CommandChannel {
 public:
  // Queues one response packet: A5, length 3 + data, three header bytes, data.
  void QueueAnswer(const std::vector<uint8_t>& data, uint8_t headerByte3 = 0x50) {
    const auto length = static_cast<uint16_t>(3 + data.size());
    for (uint8_t b : {uint8_t{0xA5}, static_cast<uint8_t>(length >> 8),
                      static_cast<uint8_t>(length & 0xFF), headerByte3, uint8_t{0}, uint8_t{0}}) {
      pending.push_back(b);
    }
    pending.insert(pending.end(), data.begin(), data.end());
  }
  void QueueBytes(const std::vector<uint8_t>& bytes) {
    pending.insert(pending.end(), bytes.begin(), bytes.end());
  }

  // Answers for a command code, used in order when the command is written and nothing
  // else is queued; with autoAnswer, an answered command without one gets an empty answer.
  void ScriptAnswer(uint16_t code, const std::vector<uint8_t>& data, uint8_t headerByte3 = 0x50) {
    scripted[code].push_back({data, headerByte3});
  }

  usb::ResultCode WriteData(const uint8_t* data, uint32_t count, uint32_t* written) override {
    events.push_back("write");
    writes.emplace_back(data, data + count);
    if (count >= 6 && data[0] == 0xA5 && data[3] == 0x50 && pending.empty()) {
      auto& answers = scripted[static_cast<uint16_t>(data[4] << 8 | data[5])];
      if (!answers.empty()) {
        QueueAnswer(answers.front().first, answers.front().second);
        answers.pop_front();
      } else if (autoAnswer) {
        QueueAnswer({});
      }
    }
    if (written != nullptr) *written = failWrites ? 0 : count;
    return failWrites ? usb::ResultCode::kWriteTimeOut : usb::ResultCode::kWritten;
  }
  usb::ResultCode ReadData(uint8_t* data, uint32_t count, uint32_t* read) override {
    events.push_back("read");
    uint32_t n = 0;
    while (n < count && !pending.empty()) {
      data[n++] = pending.front();
      pending.pop_front();
    }
    if (read != nullptr) *read = n;
    return n == count ? usb::ResultCode::kAnswered : usb::ResultCode::kReadTimeOut;
  }
  bool WaitIORight() override {
    events.push_back("lock");
    return true;
  }
  bool ReleaseIORight() override {
    events.push_back("unlock");
    return true;
  }
  void CancelPipes() override {
    events.push_back("cancel");
    ++cancels;
  }
  uint32_t modelSerial() const override { return model; }
  log::DebugLog& log() override { return debugLog; }
  platform::Clock& clock() override { return fakeClock; }

  // The command code of each packet written, in order.
  std::vector<uint16_t> Commands() const {
    std::vector<uint16_t> codes;
    for (const auto& w : writes) {
      if (w.size() >= 6 && w[0] == 0xA5) codes.push_back(static_cast<uint16_t>(w[4] << 8 | w[5]));
    }
    return codes;
  }

  uint32_t model = 7;
  bool autoAnswer = false;
  std::map<uint16_t, std::deque<std::pair<std::vector<uint8_t>, uint8_t>>> scripted;
  bool failWrites = false;
  int cancels = 0;
  std::deque<uint8_t> pending;
  std::vector<std::vector<uint8_t>> writes;
  std::vector<std::string> events;
  log::DebugLog debugLog;
  FakeClock fakeClock;
};

}  // namespace kiln::testing
