#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kiln::sim {

// Flag byte of a command packet: the host waits for an answer / it does not.
inline constexpr uint8_t kFlagAnswered = 0x50;
inline constexpr uint8_t kFlagUnanswered = 0x40;
inline constexpr uint8_t kStartOfPacket = 0xA5;
// Padded packets are rounded up to a multiple of the USB bulk packet size.
inline constexpr uint32_t kPaddingUnit = 64;

// One command packet as the printer took it apart.
struct ReceivedPacket {
  uint16_t lengthField = 0;  // bytes after the length field: 3 + parameters + payload
  uint8_t flags = 0;
  uint16_t command = 0;
  std::vector<uint8_t> parameters;  // 0 to 3 bytes, see ParameterCount
  std::vector<uint8_t> payload;
  uint32_t writes = 0;  // separate host writes the header and payload arrived in
};

// How many of the bytes after the command code are parameters: none for the data
// commands (their bytes are payload), three for the register command 0x8305, otherwise
// up to two.
std::size_t ParameterCount(uint16_t command, std::size_t bytesAfterCode);

// Receives the stream of bytes the host writes and cuts it into packets. Padded mode
// (models below 19): each packet is followed by zero bytes up to a multiple of 64; a
// non-zero byte there makes the padding wrong, and a 0xA5 there starts the next packet
// (the padding was cut short). Unpadded mode: nothing may come between packets; any byte
// that is not a start of packet counts as wrong padding of the packet before it.
class PacketParser {
 public:
  class Sink {
   public:
    virtual ~Sink() = default;
    // A packet is complete (its padding, if any, may still follow).
    virtual void OnPacket(ReceivedPacket&& packet) = 0;
    // The padding after the last packet: bytes seen so far, and whether it is complete
    // and all zero. Called whenever that changes.
    virtual void OnPadding(uint32_t bytes, bool ok) = 0;
    // Bytes that are neither part of a packet nor expected padding.
    virtual void OnStrayBytes(uint32_t count) = 0;
  };

  explicit PacketParser(bool padded) : padded_(padded) {}

  // Feeds the bytes of one host write (or one chunk read from the device node).
  void Feed(const uint8_t* data, std::size_t len, Sink& sink);
  // Drops a packet in progress (the printer left USB).
  void Reset();

 private:
  enum class State { kSeekStart, kLength, kBody, kPadding };

  void StartPacket();
  void FinishBody(Sink& sink);
  void CountWrite();

  bool padded_;
  State state_ = State::kSeekStart;
  uint8_t lengthBytes_[2] = {0, 0};
  std::size_t lengthSeen_ = 0;
  uint16_t lengthField_ = 0;
  std::vector<uint8_t> body_;
  uint32_t writes_ = 0;
  uint64_t feedNumber_ = 0;
  uint64_t lastCountedFeed_ = 0;
  uint32_t paddingExpected_ = 0;
  uint32_t paddingSeen_ = 0;
  bool paddingOk_ = true;
};

}  // namespace kiln::sim
