#include "sim/packet_parser.h"

#include <algorithm>

namespace kiln::sim {

namespace {

// Commands whose bytes after the code are data, not parameters.
constexpr uint16_t kDataCommands[] = {0x8301, 0x8308, 0x0304, 0x8300, 0x8304,
                                      0x8309, 0x850A, 0xE001, 0xE002};
constexpr uint16_t kRegisterCommand = 0x8305;

}  // namespace

std::size_t ParameterCount(uint16_t command, std::size_t bytesAfterCode) {
  if (std::find(std::begin(kDataCommands), std::end(kDataCommands), command) !=
      std::end(kDataCommands)) {
    return 0;
  }
  const std::size_t most = command == kRegisterCommand ? 3 : 2;
  return std::min(most, bytesAfterCode);
}

void PacketParser::Reset() {
  state_ = State::kSeekStart;
  body_.clear();
  lengthSeen_ = 0;
}

void PacketParser::StartPacket() {
  state_ = State::kLength;
  lengthSeen_ = 0;
  body_.clear();
  // The write that holds the start byte is the packet's first, even when an earlier
  // packet of the same write was already counted in it.
  writes_ = 1;
  lastCountedFeed_ = feedNumber_;
}

void PacketParser::CountWrite() {
  if (lastCountedFeed_ != feedNumber_) {
    lastCountedFeed_ = feedNumber_;
    ++writes_;
  }
}

void PacketParser::FinishBody(Sink& sink) {
  ReceivedPacket packet;
  packet.lengthField = lengthField_;
  packet.writes = writes_;
  if (body_.size() >= 1) packet.flags = body_[0];
  if (body_.size() >= 3) {
    packet.command = static_cast<uint16_t>((body_[1] << 8) | body_[2]);
    const std::size_t rest = body_.size() - 3;
    const std::size_t params = ParameterCount(packet.command, rest);
    packet.parameters.assign(body_.begin() + 3, body_.begin() + 3 + static_cast<long>(params));
    packet.payload.assign(body_.begin() + 3 + static_cast<long>(params), body_.end());
  }
  body_.clear();

  const uint32_t total = 3u + lengthField_;
  paddingExpected_ = padded_ ? (kPaddingUnit - total % kPaddingUnit) % kPaddingUnit : 0;
  paddingSeen_ = 0;
  paddingOk_ = true;
  state_ = paddingExpected_ > 0 ? State::kPadding : State::kSeekStart;
  sink.OnPacket(std::move(packet));
  // Until all of it has arrived the padding counts as wrong.
  if (paddingExpected_ > 0) sink.OnPadding(0, false);
}

void PacketParser::Feed(const uint8_t* data, std::size_t len, Sink& sink) {
  ++feedNumber_;
  uint32_t stray = 0;
  auto flushStray = [&] {
    if (stray > 0) sink.OnStrayBytes(stray);
    stray = 0;
  };

  std::size_t i = 0;
  while (i < len) {
    const uint8_t byte = data[i];
    switch (state_) {
      case State::kSeekStart:
        if (byte == kStartOfPacket) {
          flushStray();
          StartPacket();
        } else {
          ++stray;
        }
        ++i;
        break;
      case State::kLength:
        CountWrite();
        lengthBytes_[lengthSeen_++] = byte;
        ++i;
        if (lengthSeen_ == 2) {
          lengthField_ = static_cast<uint16_t>((lengthBytes_[0] << 8) | lengthBytes_[1]);
          body_.reserve(lengthField_);
          state_ = State::kBody;
          if (lengthField_ == 0) FinishBody(sink);
        }
        break;
      case State::kBody: {
        CountWrite();
        const std::size_t take = std::min(len - i, lengthField_ - body_.size());
        body_.insert(body_.end(), data + i, data + i + take);
        i += take;
        if (body_.size() == lengthField_) FinishBody(sink);
        break;
      }
      case State::kPadding:
        if (byte == kStartOfPacket) {
          // The padding was cut short: this is the next packet.
          sink.OnPadding(paddingSeen_, false);
          StartPacket();
          ++i;
          break;
        }
        ++paddingSeen_;
        if (byte != 0) paddingOk_ = false;
        ++i;
        if (paddingSeen_ == paddingExpected_) {
          sink.OnPadding(paddingSeen_, paddingOk_);
          state_ = State::kSeekStart;
        }
        break;
    }
  }
  if (state_ == State::kPadding && paddingSeen_ > 0) sink.OnPadding(paddingSeen_, false);
  flushStray();
}

}  // namespace kiln::sim
