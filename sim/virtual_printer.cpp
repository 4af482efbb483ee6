#include "sim/virtual_printer.h"

#include <algorithm>
#include <cstring>

#include "config/firmware_package.h"
#include "models/model_table.h"
#include "sim/printer_answers.h"

namespace kiln::sim {

namespace {

// Command codes the printer understands.
namespace cmd {
constexpr uint16_t kProductInformation = 0x0100;
constexpr uint16_t kStatusSummary = 0x0400;
constexpr uint16_t kAlertDetails[] = {0x0403, 0x0405, 0x0406, 0x0407, 0x0408, 0x040A};
constexpr uint16_t kPrinterInfo = 0x040C;
constexpr uint16_t kStatusRecord = 0x8000;
constexpr uint16_t kMediaInfo = 0x8001;
constexpr uint16_t kColourMode = 0x8008;
constexpr uint16_t kFirmwareData = 0x8301;
constexpr uint16_t kRegisterParameters = 0x8305;
constexpr uint16_t kAnnounceFile = 0x8306;
constexpr uint16_t kEndOfFile = 0x8307;
constexpr uint16_t kFileData = 0x8308;
constexpr uint16_t kStartOfWrite = 0x8400;
constexpr uint16_t kEndOfWrite = 0x8401;
constexpr uint16_t kStartBlockRead = 0x8702;
constexpr uint16_t kNextBlockPiece = 0xE028;
}  // namespace cmd

// The file kind of the three-file download that carries the firmware image.
constexpr uint8_t kFirmwareImageKind = 2;
// Header byte 3 of the 0x8702 answer when a device data block is ready to be read.
constexpr uint8_t kBlockReady = 0x50;
// First byte of an answer spoilt by the bad-first-byte fault.
constexpr uint8_t kSpoiltStart = 0x5A;
constexpr uint8_t kCpuWriteType = 2;
// Programming takes at least this long, so that even an image that names no programming
// time leaves the answer to its end of write readable until the host's next pause.
constexpr uint64_t kShortestProgrammingMs = 1;

bool IsAlertDetail(uint16_t command) {
  return std::find(std::begin(cmd::kAlertDetails), std::end(cmd::kAlertDetails), command) !=
         std::end(cmd::kAlertDetails);
}

// Commands that cannot be carried out without their parameter bytes: start of write
// (write type), register parameters (three registers), file announce (kind).
bool MissesParameters(const ReceivedPacket& packet) {
  std::size_t needed = 0;
  if (packet.command == cmd::kStartOfWrite || packet.command == cmd::kAnnounceFile) needed = 1;
  if (packet.command == cmd::kRegisterParameters) needed = 3;
  return packet.parameters.size() < needed;
}

}  // namespace

// Hands the parser's findings to the printer; called with the printer's mutex held.
class VirtualPrinter::ParserSink final : public PacketParser::Sink {
 public:
  explicit ParserSink(VirtualPrinter& printer) : printer_(printer) {}
  void OnPacket(ReceivedPacket&& packet) override {
    if (printer_.onUsb_) printer_.Handle(std::move(packet));
  }
  void OnPadding(uint32_t bytes, bool ok) override {
    if (printer_.transcript_.empty() || !printer_.onUsb_) return;
    printer_.transcript_.back().paddingBytes = bytes;
    printer_.transcript_.back().paddingOk = ok;
  }
  void OnStrayBytes(uint32_t count) override {
    if (printer_.transcript_.empty() || !printer_.onUsb_) return;
    printer_.transcript_.back().paddingBytes += count;
    printer_.transcript_.back().paddingOk = false;
  }

 private:
  VirtualPrinter& printer_;
};

VirtualPrinter::VirtualPrinter(VirtualPrinterConfig config, platform::Clock& clock)
    : config_(std::move(config)),
      clock_(clock),
      parser_(!models::IsLargeModel(config_.model)),
      version_(config_.version),
      deviceBlock_(config_.deviceBlock),
      alert_(config_.faults.alert),
      busyPollsLeft_(config_.faults.busyPolls),
      productId_(ProductIdOfModel(config_.model)) {}

// ---------------------------------------------------------------------------------------
// Byte interface

void VirtualPrinter::Receive(const uint8_t* data, std::size_t len) {
  std::lock_guard<std::mutex> lock(mutex_);
  Settle();
  if (!onUsb_ || data == nullptr) return;
  ParserSink sink(*this);
  parser_.Feed(data, len, sink);
}

std::size_t VirtualPrinter::TakeAnswer(uint8_t* out, std::size_t len) {
  std::lock_guard<std::mutex> lock(mutex_);
  Settle();
  const std::size_t n = std::min(len, answerQueue_.size());
  if (n == 0) return 0;
  std::memcpy(out, answerQueue_.data(), n);
  answerQueue_.erase(answerQueue_.begin(), answerQueue_.begin() + static_cast<long>(n));
  return n;
}

std::size_t VirtualPrinter::PendingAnswerBytes() {
  std::lock_guard<std::mutex> lock(mutex_);
  Settle();
  return answerQueue_.size();
}

void VirtualPrinter::Handle(ReceivedPacket&& packet) {
  if (leavingAtNextAnswer_ && packet.flags == kFlagAnswered &&
      packet.command != cmd::kFirmwareData) {
    leavingAtNextAnswer_ = false;
    LeaveInTransfer();
    return;
  }
  PacketRecord record;
  record.command = packet.command;
  record.flags = packet.flags;
  record.parameters = packet.parameters;
  record.payloadLength = static_cast<uint32_t>(packet.payload.size());
  record.writes = packet.writes;
  transcript_.push_back(record);
  const std::size_t packetNumber = transcript_.size();
  // A command without its parameter bytes is refused: nothing done, nothing answered.
  if (MissesParameters(packet)) return;

  switch (packet.command) {
    case cmd::kStartOfWrite:
      writingImage_ = true;
      imageInProgress_.clear();
      writeType_ = packet.parameters[0];
      break;
    case cmd::kFirmwareData:
      if (writingImage_) {
        imageInProgress_.insert(imageInProgress_.end(), packet.payload.begin(),
                                packet.payload.end());
        TakeData(packet.payload);
      }
      break;
    case cmd::kEndOfWrite:
      if (writingImage_) {
        writingImage_ = false;
        images_.push_back({writeType_.value_or(0), imageInProgress_});
        StartProgramming(imageInProgress_, writeType_.value_or(0));
        imageInProgress_.clear();
      }
      break;
    case cmd::kRegisterParameters: {
      RegisterPacket registers{};
      std::copy_n(packet.parameters.begin(), registers.size(), registers.begin());
      registerPackets_.push_back(registers);
      break;
    }
    case cmd::kAnnounceFile:
      fileKindInProgress_ = packet.parameters[0];
      fileInProgress_.clear();
      break;
    case cmd::kFileData:
      if (fileKindInProgress_) {
        fileInProgress_.insert(fileInProgress_.end(), packet.payload.begin(), packet.payload.end());
        TakeData(packet.payload);
      }
      break;
    case cmd::kEndOfFile:
      if (fileKindInProgress_) {
        const uint8_t kind = *fileKindInProgress_;
        files_.push_back({kind, fileInProgress_});
        if (kind == kFirmwareImageKind) StartProgramming(fileInProgress_, 0);
        fileKindInProgress_.reset();
        fileInProgress_.clear();
      }
      break;
    case cmd::kStartBlockRead:
      blockReadOffset_ = 0;
      break;
    default:
      break;
  }

  // A printer that left USB while taking the packet answers nothing.
  if (!onUsb_) return;
  if (packet.flags != kFlagAnswered || packet.command == cmd::kFirmwareData) return;
  const PrinterFaults& faults = config_.faults;
  if (faults.silent.Matches(packet.command)) return;
  if (faults.silentFromPacket != 0 && packetNumber >= faults.silentFromPacket) return;

  QueueAnswer(packet.command, AnswerFor(packet));
  transcript_.back().answered = true;
}

VirtualPrinter::Answer VirtualPrinter::AnswerFor(const ReceivedPacket& packet) {
  Answer answer;
  const uint16_t command = packet.command;
  if (command == cmd::kProductInformation) {
    const models::PrinterModel* row = models::ModelBySerial(config_.model);
    answer.data = answers::ProductInformation(row != nullptr ? row->driverName : "", version_,
                                              config_.serialNumber, productId_);
  } else if (command == cmd::kStatusSummary) {
    answer.data = answers::StatusSummary(CurrentStatus(true));
  } else if (IsAlertDetail(command)) {
    const bool present = alert_ && DetailCommandAnnounced(alert_->status, command);
    answer.data = answers::AlertDetail(present, present ? alert_->code : 0);
  } else if (command == cmd::kStatusRecord) {
    answer.data = answers::StatusRecord(config_.model, CurrentStatus(false), !deviceBlock_.empty());
  } else if (command == cmd::kMediaInfo) {
    answer.data = {0x01, 0x00};
  } else if (command == cmd::kPrinterInfo) {
    answer.data = {0x00, 0x00, 0x01, 0x00};
  } else if (command == cmd::kColourMode) {
    answer.data.assign(config_.colourMode.begin(), config_.colourMode.end());
  } else if (command == cmd::kStartBlockRead) {
    if (!deviceBlock_.empty()) answer.headerByte3 = kBlockReady;
    answer.data = {static_cast<uint8_t>(deviceBlock_.size() >> 8),
                   static_cast<uint8_t>(deviceBlock_.size() & 0xFF)};
  } else if (command == cmd::kNextBlockPiece) {
    const std::size_t offset = std::min(blockReadOffset_, deviceBlock_.size());
    const std::size_t piece = std::min(kDeviceBlockPiece, deviceBlock_.size() - offset);
    answer.data.assign(deviceBlock_.begin() + static_cast<long>(offset),
                       deviceBlock_.begin() + static_cast<long>(offset + piece));
    blockReadOffset_ = offset + piece;
  }
  // Job reset, start and end of write, register parameters, file commands and every
  // unknown answered command: an empty answer.
  return answer;
}

void VirtualPrinter::QueueAnswer(uint16_t command, const Answer& answer) {
  const PrinterFaults& faults = config_.faults;
  std::vector<uint8_t> packet = answers::FrameAnswer(command, answer.headerByte3, answer.data);
  if (faults.shortAnswer.Matches(command)) {
    // Announce one byte more than is delivered.
    if (answer.data.empty()) {
      packet[2] = static_cast<uint8_t>(packet[2] + 1);
    } else {
      packet.pop_back();
    }
  }
  if (faults.badFirstByte.Matches(command)) packet[0] = kSpoiltStart;
  answerQueue_.insert(answerQueue_.end(), packet.begin(), packet.end());
}

// ---------------------------------------------------------------------------------------
// Firmware and time

void VirtualPrinter::TakeData(const std::vector<uint8_t>& payload) {
  dataBytesReceived_ += payload.size();
  const uint32_t leaveAfter = config_.faults.leaveAfterDataBytes;
  if (leaveAfter == 0 || leftInTransfer_ || dataBytesReceived_ < leaveAfter) return;
  if (config_.faults.leaveWhenAnswerAwaited) {
    leavingAtNextAnswer_ = true;
    writingImage_ = false;  // nothing more is kept
    fileKindInProgress_.reset();
    return;
  }
  LeaveInTransfer();
}

void VirtualPrinter::LeaveInTransfer() {
  leftInTransfer_ = true;
  LeaveUsb();
  returnProductId_ = productId_;
  returnVersion_ = version_;
  if (!config_.faults.neverReturn) returnAtMs_ = clock_.NowMs() + config_.restartGapMs;
}

void VirtualPrinter::StartProgramming(const std::vector<uint8_t>& image, uint8_t writeType) {
  const auto size = static_cast<uint32_t>(image.size());
  const std::optional<uint32_t> offset = config::LocatePackageHeader(image.data(), size, writeType);
  // An image without an identification header is not programmed.
  if (!offset) return;
  const config::PackageHeader header = config::DecodePackageHeader(image.data(), *offset);
  const uint16_t seconds = writeType == kCpuWriteType ? header.programTime1 : header.programTime2;
  programmingEndsMs_ =
      clock_.NowMs() + std::max<uint64_t>(uint64_t{seconds} * 1000, kShortestProgrammingMs);
  returnProductId_ = config_.faults.returnProductId.value_or(header.productId);
  returnVersion_ = std::string(header.version.view());
}

void VirtualPrinter::FinishProgramming(uint64_t at) {
  programmingEndsMs_.reset();
  ++programmingRuns_;
  DamageBlock();
  if (config_.faults.errorAfterProgramming) {
    alert_ = config_.faults.errorAfterProgramming;
    return;
  }
  LeaveUsb();
  alert_.reset();
  if (!config_.faults.neverReturn) returnAtMs_ = at + config_.restartGapMs;
}

void VirtualPrinter::DamageBlock() {
  switch (config_.faults.blockDamage) {
    case BlockDamage::kNone:
      break;
    case BlockDamage::kLost:
      deviceBlock_.clear();
      break;
    case BlockDamage::kAltered:
      // The first byte and the checksum byte move in opposite directions: the sum, and
      // so the checksum, stays valid.
      if (deviceBlock_.size() >= 3) {
        ++deviceBlock_.front();
        --deviceBlock_.back();
      }
      break;
  }
}

void VirtualPrinter::Settle() {
  const uint64_t now = clock_.NowMs();
  if (programmingEndsMs_ && now >= *programmingEndsMs_) FinishProgramming(*programmingEndsMs_);
  if (returnAtMs_ && now >= *returnAtMs_) Arrive();
}

void VirtualPrinter::LeaveUsb() {
  onUsb_ = false;
  answerQueue_.clear();
  writingImage_ = false;
  imageInProgress_.clear();
  fileKindInProgress_.reset();
  fileInProgress_.clear();
}

void VirtualPrinter::Arrive() {
  onUsb_ = true;
  ++arrivals_;
  returnAtMs_.reset();
  parser_.Reset();
  answerQueue_.clear();
  productId_ = returnProductId_;
  version_ = returnVersion_;
  blockReadOffset_ = 0;
}

StatusBytes VirtualPrinter::CurrentStatus(bool countPoll) {
  StatusBytes status = config_.status;
  if (alert_) {
    for (std::size_t i = 0; i < status.size(); ++i) status[i] |= alert_->status[i];
  }
  bool busy = programmingEndsMs_.has_value() || config_.faults.busyForever;
  if (busyPollsLeft_ > 0) {
    busy = true;
    if (countPoll) --busyPollsLeft_;
  }
  if (busy) status[0] |= kStatusBusy;
  return status;
}

// ---------------------------------------------------------------------------------------
// Presence

bool VirtualPrinter::OnUsb() {
  std::lock_guard<std::mutex> lock(mutex_);
  Settle();
  return onUsb_;
}

uint32_t VirtualPrinter::Arrivals() {
  std::lock_guard<std::mutex> lock(mutex_);
  Settle();
  return arrivals_;
}

uint16_t VirtualPrinter::ProductId() {
  std::lock_guard<std::mutex> lock(mutex_);
  Settle();
  return productId_;
}

std::string VirtualPrinter::Version() {
  std::lock_guard<std::mutex> lock(mutex_);
  Settle();
  return version_;
}

bool VirtualPrinter::Busy() {
  std::lock_guard<std::mutex> lock(mutex_);
  Settle();
  return (CurrentStatus(false)[0] & kStatusBusy) != 0;
}

void VirtualPrinter::Unplug() {
  std::lock_guard<std::mutex> lock(mutex_);
  Settle();
  LeaveUsb();
  programmingEndsMs_.reset();
  returnAtMs_.reset();
}

void VirtualPrinter::Plug() {
  std::lock_guard<std::mutex> lock(mutex_);
  Settle();
  returnProductId_ = productId_;
  returnVersion_ = version_;
  Arrive();
}

std::optional<uint64_t> VirtualPrinter::NextChangeMs() {
  std::lock_guard<std::mutex> lock(mutex_);
  Settle();
  if (programmingEndsMs_) return programmingEndsMs_;
  return returnAtMs_;
}

// ---------------------------------------------------------------------------------------
// Records

std::vector<PacketRecord> VirtualPrinter::Transcript() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return transcript_;
}

std::optional<uint8_t> VirtualPrinter::WriteType() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return writeType_;
}

std::vector<ReceivedImage> VirtualPrinter::Images() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return images_;
}

std::vector<ReceivedFile> VirtualPrinter::Files() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return files_;
}

std::vector<RegisterPacket> VirtualPrinter::RegisterPackets() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return registerPackets_;
}

uint32_t VirtualPrinter::ProgrammingRuns() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return programmingRuns_;
}

std::vector<uint8_t> VirtualPrinter::DeviceBlock() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return deviceBlock_;
}

}  // namespace kiln::sim
