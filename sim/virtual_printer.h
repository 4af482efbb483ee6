#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/packet_parser.h"
#include "sim/printer_config.h"

namespace kiln::sim {

// One packet as the printer received it, kept for checks.
struct PacketRecord {
  uint16_t command = 0;
  uint8_t flags = 0;
  std::vector<uint8_t> parameters;
  uint32_t payloadLength = 0;
  // Padding seen after the packet, and whether it was right: complete and zero for models
  // below 19, absent for the others.
  uint32_t paddingBytes = 0;
  bool paddingOk = true;
  // Separate host writes the packet arrived in (over a device node: separate reads).
  uint32_t writes = 0;
  // Whether the printer queued an answer.
  bool answered = false;
};

// A firmware image of the padded send mode: start of write (0x8400), data (0x8301), end
// of write (0x8401).
struct ReceivedImage {
  uint8_t writeType = 0;
  std::vector<uint8_t> bytes;
};

// One file of the three-file download: announced by 0x8306 with its kind (0 code file,
// 1 table file, 2 firmware image), data in 0x8308 pieces, closed by 0x8307.
struct ReceivedFile {
  uint8_t kind = 0;
  std::vector<uint8_t> bytes;
};

// The three bytes of one 0x8305 register parameter packet.
using RegisterPacket = std::array<uint8_t, 3>;

// The device side of the printer protocol, independent of how bytes reach it: the host's
// writes go into Receive, the printer's answers come out of TakeAnswer. Time (programming,
// the restart gap) is measured on the given clock. Every public member is thread-safe.
//
// Life of a printer: on USB from construction. The end of a firmware write (0x8401, or
// the 0x8307 that closes a kind-2 file) makes it report busy for the programming time in
// the received image's identification header (time 1 for write type 2, time 2 otherwise;
// an image without a header is not programmed). Then it leaves USB and, after the restart
// gap, comes back under the product ID and version the header names (a new arrival:
// Arrivals() counts up), with its alert cleared and its device data block kept. Leaving
// USB drops queued answers and transfers in progress. The faults of the configuration
// change this course.
class VirtualPrinter {
 public:
  VirtualPrinter(VirtualPrinterConfig config, platform::Clock& clock);
  VirtualPrinter(const VirtualPrinter&) = delete;
  VirtualPrinter& operator=(const VirtualPrinter&) = delete;

  // --- Byte interface ---
  // The bytes of one host write. Ignored while the printer is not on USB.
  void Receive(const uint8_t* data, std::size_t len);
  // Moves up to len queued answer bytes to out; returns how many.
  std::size_t TakeAnswer(uint8_t* out, std::size_t len);
  // Answer bytes waiting to be read.
  std::size_t PendingAnswerBytes();

  // --- Presence and identity (time is applied first) ---
  bool OnUsb();
  // How many times the printer has appeared on USB: 1 at power-on, +1 on each return.
  uint32_t Arrivals();
  uint16_t ProductId();
  std::string Version();
  bool Busy();
  // The cable is pulled: the printer leaves USB at once (programming under way and a
  // pending return are cancelled).
  void Unplug();
  // The cable is plugged back (or, if still on USB, the printer is reset): a new arrival
  // with the current identity.
  void Plug();
  // Millisecond time (on the clock) of the next change the printer makes by itself.
  std::optional<uint64_t> NextChangeMs();

  // --- What it received, in order ---
  std::vector<PacketRecord> Transcript() const;
  // Write type of the most recent start of write (0x8400).
  std::optional<uint8_t> WriteType() const;
  std::vector<ReceivedImage> Images() const;
  std::vector<ReceivedFile> Files() const;
  std::vector<RegisterPacket> RegisterPackets() const;
  // Completed programming runs (whether or not the printer restarted after them).
  uint32_t ProgrammingRuns() const;
  // The device data block it holds now (empty: none).
  std::vector<uint8_t> DeviceBlock() const;

  const VirtualPrinterConfig& Config() const { return config_; }
  platform::Clock& clock() const { return clock_; }

 private:
  class ParserSink;
  struct Answer {
    uint8_t headerByte3 = 0;
    std::vector<uint8_t> data;
  };

  void Settle();
  void Handle(ReceivedPacket&& packet);
  Answer AnswerFor(const ReceivedPacket& packet);
  void QueueAnswer(uint16_t command, const Answer& answer);
  void TakeData(const std::vector<uint8_t>& payload);
  void StartProgramming(const std::vector<uint8_t>& image, uint8_t writeType);
  void FinishProgramming(uint64_t at);
  // Applies the block-after-programming fault.
  void DamageBlock();
  void LeaveUsb();
  // Leaves in the middle of a transfer, to come back unchanged after the restart gap.
  void LeaveInTransfer();
  void Arrive();
  StatusBytes CurrentStatus(bool countPoll);

  mutable std::mutex mutex_;
  const VirtualPrinterConfig config_;
  platform::Clock& clock_;
  PacketParser parser_;

  // Identity and state.
  std::string version_;
  std::string returnVersion_;
  std::vector<uint8_t> deviceBlock_;
  std::optional<AlertReport> alert_;
  std::optional<uint64_t> programmingEndsMs_;
  std::optional<uint64_t> returnAtMs_;
  std::size_t blockReadOffset_ = 0;
  uint64_t dataBytesReceived_ = 0;
  uint32_t arrivals_ = 1;
  uint32_t busyPollsLeft_;
  uint16_t productId_;
  uint16_t returnProductId_ = 0;
  bool onUsb_ = true;
  bool leftInTransfer_ = false;
  bool leavingAtNextAnswer_ = false;  // leaveWhenAnswerAwaited: the limit was reached

  // Transfers in progress.
  std::vector<uint8_t> imageInProgress_;
  std::vector<uint8_t> fileInProgress_;
  std::optional<uint8_t> fileKindInProgress_;
  bool writingImage_ = false;

  // Answers waiting to be read.
  std::vector<uint8_t> answerQueue_;

  // Records.
  std::vector<PacketRecord> transcript_;
  std::vector<ReceivedImage> images_;
  std::vector<ReceivedFile> files_;
  std::vector<RegisterPacket> registerPackets_;
  uint32_t programmingRuns_ = 0;
  std::optional<uint8_t> writeType_;
};

}  // namespace kiln::sim
