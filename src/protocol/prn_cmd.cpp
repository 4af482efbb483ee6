// The command transaction: one packet out, one response in.
#include "protocol/prn_cmd.h"

#include <algorithm>
#include <cstring>

namespace kiln::protocol {

using usb::ToByte;

namespace {

uint16_t CodeOf(const uint8_t* header) {
  return static_cast<uint16_t>((header[4] << 8) | header[5]);
}

uint32_t RoundUpToPacket(uint32_t length) {
  return (length + kPacketAlignment - 1) / kPacketAlignment * kPacketAlignment;
}

}  // namespace

CPrnCmd::CPrnCmd(usb::CommandChannel* link, SendMode mode) : link_(link), mode_(mode) {}

void CPrnCmd::RecordResult(ResultCode result, ResultCode success) {
  lastError_ = result == success ? 0 : ToByte(result);
}

ResultCode CPrnCmd::SendCommand(const uint8_t* header, uint32_t headerLength,
                                const uint8_t* payload, uint32_t payloadLength, bool takeIoRight) {
  if (link_ == nullptr) return ResultCode::kNoLink;
  if (takeIoRight) {
    link_->WaitIORight();
    Log().LogPrint(2, "CPrnCmd::SendCommand, after WaitIORight,\n");
  }
  Log().LogPrint(2, "CPrnCmd::SendCommand, header length = %d, payload length = %d,\n",
                 headerLength, payloadLength);
  Log().LogHexDump(2, header, headerLength);
  responseLength_ = 0;
  bytesReceived_ = 0;

  if (payload == nullptr) payloadLength = 0;
  const ResultCode result = mode_ == SendMode::kPadded
                                ? WritePadded(header, headerLength, payload, payloadLength)
                                : WriteUnpadded(header, headerLength, payload, payloadLength);

  if (takeIoRight) {
    link_->ReleaseIORight();
    Log().LogPrint(2, "CPrnCmd::SendCommand, after ReleaseIORight,\n");
  }
  RecordResult(result, ResultCode::kWritten);
  return result;
}

ResultCode CPrnCmd::WritePadded(const uint8_t* header, uint32_t headerLength,
                                const uint8_t* payload, uint32_t payloadLength) {
  const uint32_t total = RoundUpToPacket(headerLength + payloadLength);
  // A packet that cannot fit the send buffer is refused rather than overrun it.
  if (total > kBufferSize) return ResultCode::kPayloadTooLong;
  std::memcpy(sendBuffer_.data(), header, headerLength);
  if (payloadLength != 0) std::memcpy(sendBuffer_.data() + headerLength, payload, payloadLength);
  std::fill(sendBuffer_.begin() + headerLength + payloadLength, sendBuffer_.begin() + total, 0);

  const ResultCode result = link_->WriteData(sendBuffer_.data(), total, &bytesSent_);
  Log().LogPrint(2,
                 "CPrnCmd::SendCommand, result = 0x%02X, header length = %d, payload length = %d, "
                 "padded length = %d, sent = %d,\n",
                 ToByte(result), headerLength, payloadLength, total, bytesSent_);
  Log().LogHexDump(2, sendBuffer_.data(), 10);
  return result;
}

ResultCode CPrnCmd::WriteUnpadded(const uint8_t* header, uint32_t headerLength,
                                  const uint8_t* payload, uint32_t payloadLength) {
  if (headerLength >= 6 && IsSplitCommand(CodeOf(header))) {
    uint32_t headerSent = 0;
    ResultCode result = link_->WriteData(header, headerLength, &headerSent);
    bytesSent_ = headerSent;
    Log().LogPrint(2, "CPrnCmd::SendCommand, result = 0x%02X, header length = %d, sent = %d,\n",
                   ToByte(result), headerLength, bytesSent_);
    Log().LogHexDump(2, header, headerLength);
    uint32_t payloadSent = 0;
    if (result == ResultCode::kWritten && payload != nullptr) {
      result = link_->WriteData(payload, payloadLength, &payloadSent);
      Log().LogPrint(
          2, "CPrnCmd::SendCommand, result = 0x%02X, payload length = %d, payload sent = %d,\n",
          ToByte(result), payloadLength, payloadSent);
    }
    bytesSent_ = headerSent + payloadSent;
    return result;
  }

  const uint32_t total = headerLength + payloadLength;
  if (total > kBufferSize) return ResultCode::kPayloadTooLong;
  std::memcpy(sendBuffer_.data(), header, headerLength);
  if (payloadLength != 0) std::memcpy(sendBuffer_.data() + headerLength, payload, payloadLength);
  const ResultCode result = link_->WriteData(sendBuffer_.data(), total, &bytesSent_);
  Log().LogPrint(2,
                 "CPrnCmd::SendCommand, result = 0x%02X, header length = %d, payload length = %d, "
                 "length = %d, sent = %d,\n",
                 ToByte(result), headerLength, payloadLength, total, bytesSent_);
  Log().LogHexDump(2, sendBuffer_.data(), payloadLength >= 30 ? 36 : total);
  return result;
}

ResultCode CPrnCmd::GetResponse() {
  if (link_ == nullptr) return ResultCode::kNoLink;
  Log().LogPrint(2, "Begin CPrnCmd::GetResponse\n");
  responseHeader_.fill(0);
  responseLength_ = 0;

  ResultCode result =
      link_->ReadData(responseHeader_.data(), kResponseHeaderLength, &bytesReceived_);
  if (result == ResultCode::kAnswered && bytesReceived_ < kResponseHeaderLength) {
    result = ResultCode::kShortResponse;
  }
  Log().LogPrint(1, "CPrnCmd::GetResponse(1)::return 0x%02X, header length = 6, received = %d,\n",
                 ToByte(result), bytesReceived_);
  Log().LogHexDump(1, responseHeader_.data(), bytesReceived_);
  if (result != ResultCode::kAnswered) {
    RecordResult(result, ResultCode::kAnswered);
    return result;
  }
  if (responseHeader_[0] != kPacketStart) {
    lastError_ = ToByte(ResultCode::kBadResponseHeader);
    return ResultCode::kBadResponseHeader;
  }

  // A length field below 3 wraps around, as the printer's 16-bit arithmetic does; the
  // read that follows then runs into the link's time-out and ends in a short response.
  responseLength_ = static_cast<uint16_t>(((responseHeader_[1] << 8) | responseHeader_[2]) - 3);
  Log().LogPrint(2, "CPrnCmd::GetResponse(2):: response length = %d,\n", responseLength_);
  if (responseLength_ == 0) {
    lastError_ = 0;
    return ResultCode::kAnswered;
  }

  const uint16_t wanted = responseLength_;
  result = link_->ReadData(responseData_.data(), wanted, &bytesReceived_);
  if (bytesReceived_ != wanted) result = ResultCode::kShortResponse;
  Log().LogPrint(1, "CPrnCmd::GetResponse(3)::return 0x%02X, wanted = %d, received = %d,\n",
                 ToByte(result), wanted, bytesReceived_);
  Log().LogHexDump(1, responseData_.data(), bytesReceived_);
  responseLength_ = static_cast<uint16_t>(bytesReceived_);
  RecordResult(result, ResultCode::kAnswered);
  return result;
}

void CPrnCmd::GetResponseData(const uint8_t** data, uint32_t* length) const {
  const bool any = responseLength_ != 0;
  if (data != nullptr) *data = any ? responseData_.data() : nullptr;
  if (length != nullptr) *length = any ? bytesReceived_ : 0;
}

ResultCode CPrnCmd::Transact(const uint8_t* header, uint32_t headerLength, const uint8_t* payload,
                             uint32_t payloadLength) {
  if (link_ == nullptr) return ResultCode::kNoLink;
  link_->WaitIORight();
  ResultCode result = SendCommand(header, headerLength, payload, payloadLength, false);
  if (result == ResultCode::kWritten) result = GetResponse();
  link_->ReleaseIORight();
  return result;
}

void CPrnCmd::KeepLastCommand(const uint8_t* header, uint32_t headerLength, const uint8_t* payload,
                              uint32_t payloadLength) {
  std::memcpy(sendBuffer_.data(), header, headerLength);
  if (payload != nullptr && payloadLength != 0 && headerLength + payloadLength <= kBufferSize) {
    std::memcpy(sendBuffer_.data() + headerLength, payload, payloadLength);
  }
}

StatusSummary StatusSummary::From(const uint8_t* data, uint32_t length) {
  StatusSummary summary;
  if (data == nullptr) return summary;
  if (length > 0) summary.byte0 = data[0];
  if (length > 1) summary.byte1 = data[1];
  if (length > 2) summary.byte2 = data[2];
  return summary;
}

}  // namespace kiln::protocol
