#pragma once

#include <array>
#include <cstdint>

#include "protocol/answer_decoders.h"
#include "protocol/command_codes.h"
#include "usb/command_channel.h"
#include "usb/result_code.h"

namespace kiln::protocol {

using usb::ResultCode;

// Results of the status checks.
inline constexpr uint32_t kStatusOk = 0;
inline constexpr uint32_t kStatusError = 63;
inline constexpr uint32_t kStatusJobReset = 3013;
inline constexpr uint32_t kStatusStopBit = 3015;

// WaitBusy without a time limit, and its result when its limit ran out.
inline constexpr uint32_t kWaitBusyNoLimit = 0xFFFFFFFF;
inline constexpr uint32_t kWaitBusyTimedOut = 0;

// Printer error codes the updater's own logic names.
namespace printer_error {
inline constexpr uint32_t kTrayMissing = 0x00000008;
inline constexpr uint32_t kPaperOut = 0x00008000;
inline constexpr uint32_t kUnnamed8007 = 0x00008007;
inline constexpr uint32_t kTrayMissing2 = 0x00008008;
inline constexpr uint32_t kRibbonInserted = 0x00080007;
inline constexpr uint32_t kRibbonInserted2 = 0x00080207;
inline constexpr uint32_t kSequenceError = 0x000301FE;
}  // namespace printer_error

// The command protocol bound to one open printer channel: one command packet out, one
// response packet in, under the printer's I/O right. Both 256 KiB buffers live inside
// the object, so a transaction allocates nothing. Results are one-byte codes
// (0x20 = answered); nothing is retried at this level.
class CPrnCmd {
 public:
  explicit CPrnCmd(usb::CommandChannel* link);
  CPrnCmd(const CPrnCmd&) = delete;
  CPrnCmd& operator=(const CPrnCmd&) = delete;

  // On: packets padded to 64 bytes, one write each. Off: the large-model send mode
  // (no padding; split commands send header and payload as two writes). Every flow sets
  // it to the negation of largeModel before its first command.
  bool paddedMode = true;

  // --- Transaction primitives ---
  ResultCode SendCommand(const uint8_t* header, uint32_t headerLength, const uint8_t* payload,
                         uint32_t payloadLength, bool takeIoRight);
  ResultCode GetResponse();
  const std::array<uint8_t, kResponseHeaderLength>& GetResponseHeader() const {
    return responseHeader_;
  }
  // The last response's data and its length; no pointer and 0 when it had none.
  void GetResponseData(const uint8_t** data, uint32_t* length) const;

  // --- Command set ---
  // A bare command, answered; the answer stays in the response buffer.
  ResultCode DoCommand(uint16_t code);
  // A bare command whose answer is decoded into record (at most maxLength bytes are
  // written): 0x8000 the status record (16 bytes for card printers, else 32), 0x0100 a
  // ProductInfo, 0x040C one byte, 0x8001 an 8-byte record, anything else a plain copy.
  // The record is left untouched when the transaction fails or the answer is empty.
  ResultCode DoCmdGetData(uint16_t code, void* record, uint32_t maxLength);
  // A command with 0, 1 or 2 parameter bytes by the command's header rule; pauses 500 ms
  // after a job reset (0x0301).
  ResultCode DoCommand3(uint16_t code, uint8_t parameter1, uint8_t parameter2);
  // The printer's firmware revision (at most 23 characters) from its product information.
  ResultCode GetProductRev(char* revision, uint32_t size);
  // One answered data packet; refuses (0x71) payloads above 0xFFFC bytes without sending.
  ResultCode DoCmdSendData(uint16_t code, const uint8_t* data, uint32_t length);
  // One answered register parameter command (0x8305 with three bytes).
  ResultCode SendAsicRegisterPara(uint8_t p1, uint8_t p2, uint8_t p3);

  // --- Status and alerts ---
  // Polls the status summary every intervalMs until the printer is no longer busy
  // (bits 0x81 of byte 0 clear), or shows an alert when stopOnAlert is set: then 1.
  // A failed transaction ends the wait with its result. There is no limit on rounds
  // unless limitMs is given: once that much time has passed on the link's clock with the
  // printer still busy, the wait ends with kWaitBusyTimedOut.
  [[nodiscard]] uint32_t WaitBusy(uint32_t intervalMs, bool stopOnAlert,
                                  uint32_t limitMs = kWaitBusyNoLimit);
  // The status summary and, for an alert, its detail: 0, 63, 3013 or 3015, with the
  // printer's error code (or the failed transaction's result) in errorCode.
  [[nodiscard]] uint32_t CheckDeviceStatus(uint32_t* errorCode, bool show, bool suppress,
                                           bool forceAlertReport, bool busyWaitFirst);
  [[nodiscard]] uint32_t CheckDeviceAlert(uint16_t detailCode, uint32_t* errorCode, bool show,
                                          bool suppress, bool forceReport);
  // The one place an error code is reported: a trace line; the code itself travels back
  // to the caller, which shows its catalogue message.
  uint32_t ShowErrorMsg(uint32_t errorCode, bool showDialog, const char* context);

  // --- State ---
  uint32_t lastError() const { return lastError_; }
  uint16_t responseLength() const { return m_wRspLen; }
  uint32_t bytesSent() const { return m_dwSendRtrn; }
  uint32_t bytesReceived() const { return m_dwRecvRtrn; }
  const uint8_t* sendBuffer() const { return sendBuffer_.data(); }
  usb::CommandChannel* link() const { return link_; }

 private:
  ResultCode WritePadded(const uint8_t* header, uint32_t headerLength, const uint8_t* payload,
                         uint32_t payloadLength);
  ResultCode WriteUnpadded(const uint8_t* header, uint32_t headerLength, const uint8_t* payload,
                           uint32_t payloadLength);
  // Send one packet and read its answer, holding the I/O right across both.
  ResultCode Transact(const uint8_t* header, uint32_t headerLength, const uint8_t* payload,
                      uint32_t payloadLength);
  // Remembers the last command sent (header and payload) in the send buffer.
  void KeepLastCommand(const uint8_t* header, uint32_t headerLength, const uint8_t* payload,
                       uint32_t payloadLength);
  void RecordResult(ResultCode result, ResultCode success);
  log::DebugLog& Log() { return link_->log(); }

  usb::CommandChannel* link_;
  uint32_t m_dwSendRtrn = 0;
  std::array<uint8_t, kBufferSize> sendBuffer_{};
  std::array<uint8_t, kResponseHeaderLength> responseHeader_{};
  uint32_t m_dwRecvRtrn = 0;
  std::array<uint8_t, kBufferSize> responseData_{};
  uint16_t m_wRspLen = 0;
  uint32_t lastError_ = 0;
};

// A three-byte status summary view with the bits the updater reads.
struct StatusSummary {
  uint8_t byte0 = 0;
  uint8_t byte1 = 0;
  uint8_t byte2 = 0;

  static StatusSummary From(const uint8_t* data, uint32_t length);
  bool AllZero() const { return byte0 == 0 && byte1 == 0 && byte2 == 0; }
  bool Busy() const { return (byte0 & 0x80) != 0; }
  bool BusyOrWorking() const { return (byte0 & 0x81) != 0; }
  bool AlertPending() const {
    return (byte2 & 0x0E) != 0 || (byte1 & 0x0B) != 0 || (byte0 & 0x64) != 0;
  }
};

}  // namespace kiln::protocol
