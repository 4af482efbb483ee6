// The typed commands: one operation per packet shape, each a whole transaction under
// the printer's I/O right.
#include <algorithm>
#include <cstring>

#include "models/model_table.h"
#include "protocol/command_header.h"
#include "protocol/prn_cmd.h"

namespace kiln::protocol {

using usb::ToByte;

namespace {

constexpr uint32_t kJobResetPauseMs = 500;

CommandHeader BareCommand(uint16_t code) {
  // 0x040C is the one bare command the printer expects with a parameter byte.
  return code == cmd::kQuery040C ? CommandHeader(code, 1) : CommandHeader(code, 0);
}

}  // namespace

ResultCode CPrnCmd::DoCommand(uint16_t code) {
  const CommandHeader header = BareCommand(code);
  const ResultCode result = Transact(header.bytes.data(), header.length, nullptr, 0);
  if (link_ == nullptr) return result;
  Log().LogPrint(1, "==>DoCommand(0x%04X):: return = 0x%02X, response length = %d,\n", code,
                 ToByte(result), responseLength_);
  Log().LogHexDump(1, responseData_.data(), responseLength_);
  return result;
}

ResultCode CPrnCmd::DoCmdGetData(uint16_t code, void* record, uint32_t maxLength) {
  const CommandHeader header = BareCommand(code);
  const ResultCode result = Transact(header.bytes.data(), header.length, nullptr, 0);
  if (link_ == nullptr) return result;
  Log().LogPrint(1, "==>DoCmdGetData(0x%04X):: return = 0x%02X, response length = %d,\n", code,
                 ToByte(result), responseLength_);
  if (result != ResultCode::kAnswered || responseLength_ == 0 || record == nullptr) return result;

  const uint8_t* answer = responseData_.data();
  const uint32_t length = responseLength_;
  auto* out = static_cast<uint8_t*>(record);
  auto CopyOut = [&](const void* from, std::size_t size) {
    std::memcpy(out, from, std::min<std::size_t>(size, maxLength));
  };

  switch (code) {
    case cmd::kStatusRecord: {
      uint8_t decoded[kStatusRecordSize];
      const std::size_t size =
          DecodeStatusRecord(answer, length, models::IsCardPrinter(link_->modelSerial()), decoded);
      CopyOut(decoded, size);
      break;
    }
    case cmd::kProductInfo: {
      const ProductInfo info = DecodeProductInfo(answer, length);
      Log().LogPrint(1, "==> ProductName = \"%s\", ProductRev = \"%s\",\n\n",
                     info.productName.c_str(), info.productRev.c_str());
      if (maxLength >= sizeof(ProductInfo)) std::memcpy(record, &info, sizeof info);
      break;
    }
    case cmd::kQuery040C: {
      const uint8_t value = length > 2 ? answer[2] : 0;
      CopyOut(&value, 1);
      break;
    }
    case cmd::kQuery8001: {
      uint8_t decoded[kQuery8001RecordSize] = {};
      std::memcpy(decoded, answer, std::min<uint32_t>(length, 2));
      CopyOut(decoded, sizeof decoded);
      break;
    }
    default:
      CopyOut(answer, length);
      break;
  }
  return result;
}

ResultCode CPrnCmd::DoCommand3(uint16_t code, uint8_t parameter1, uint8_t parameter2) {
  const CommandHeader header(code, ParameterCountFor(code, parameter1, parameter2), parameter1,
                             parameter2);
  const ResultCode result = Transact(header.bytes.data(), header.length, nullptr, 0);
  if (link_ == nullptr) return result;
  Log().LogPrint(1,
                 "==>DoCommand3(0x%04X):: parameter 1 = %d, parameter 2 = %d, return = 0x%02X,\n",
                 code, parameter1, parameter2, ToByte(result));
  // The printer needs time to clear its job state before the next command.
  if (code == cmd::kJobReset) link_->clock().Sleep(kJobResetPauseMs);
  return result;
}

ResultCode CPrnCmd::GetProductRev(char* revision, uint32_t size) {
  const ResultCode result = DoCommand(cmd::kProductInfo);
  if (result != ResultCode::kAnswered || revision == nullptr || size == 0) return result;
  const ProductInfo info = DecodeProductInfo(responseData_.data(), responseLength_);
  const std::size_t n = std::min<std::size_t>(info.productRev.size(), size - 1);
  std::memcpy(revision, info.productRev.c_str(), n);
  revision[n] = '\0';
  return result;
}

ResultCode CPrnCmd::DoCmdSendData(uint16_t code, const uint8_t* data, uint32_t length) {
  if (length > kMaxSendDataLength) return ResultCode::kPayloadTooLong;
  if (link_ == nullptr) return ResultCode::kNoLink;
  const CommandHeader header(code, 0, 0, 0, 0, length);

  link_->WaitIORight();
  ResultCode result = SendCommand(header.bytes.data(), header.length, data, length, false);
  Log().LogPrint(1, "==>DoCmdSendData(0x%04X):: return = 0x%02X, data length = %d,\n", code,
                 ToByte(result), length);
  Log().LogHexDump(1, header.bytes.data(), header.length);
  if (length < 100) Log().LogHexDump(1, data, length);
  if (result == ResultCode::kWritten) result = GetResponse();
  link_->ReleaseIORight();
  KeepLastCommand(header.bytes.data(), header.length, data, length);
  return result;
}

ResultCode CPrnCmd::SendAsicRegisterPara(uint8_t p1, uint8_t p2, uint8_t p3) {
  if (link_ == nullptr) return ResultCode::kNoLink;
  const CommandHeader header(cmd::kRegisterPara, 3, p1, p2, p3);
  Log().LogPrint(1, "==>SendAsicRegisterPara:: p1 = 0x%02X, p2 = 0x%02X, p3 = 0x%02X,\n", p1, p2,
                 p3);
  const ResultCode result = Transact(header.bytes.data(), header.length, nullptr, 0);
  KeepLastCommand(header.bytes.data(), header.length, nullptr, 0);
  return result;
}

}  // namespace kiln::protocol
