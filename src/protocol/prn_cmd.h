#pragma once

#include <array>
#include <cstdint>

#include "protocol/answer_decoders.h"
#include "protocol/command_codes.h"
#include "protocol/zeroed_buffer.h"
#include "usb/command_channel.h"
#include "usb/result_code.h"

namespace kiln::protocol {

using usb::ResultCode;

// Results of the status checks, with the numbers the traces and callers know.
enum class StatusResult : uint32_t {
  kOk = 0,           // no error to report
  kError = 63,       // a transaction failed or an alert was reported
  kJobReset = 3013,  // the check ended with a job reset
  kStopBit = 3015,   // status byte 0 bit 0x04
};
inline constexpr StatusResult kStatusOk = StatusResult::kOk;
inline constexpr StatusResult kStatusError = StatusResult::kError;
inline constexpr StatusResult kStatusJobReset = StatusResult::kJobReset;
inline constexpr StatusResult kStatusStopBit = StatusResult::kStopBit;

// The outcome of a busy wait: the printer is ready, the wait ended with a failed
// transaction (its result code), or its time limit ran out with the printer still busy.
struct BusyWait {
  bool ready = false;
  ResultCode failure = ResultCode::kAnswered;
  bool timedOut = false;
  static BusyWait Ready() { return {true, ResultCode::kAnswered, false}; }
  static BusyWait Failed(ResultCode result) { return {false, result, false}; }
  static BusyWait TimedOut() { return {false, ResultCode::kAnswered, true}; }
  friend bool operator==(const BusyWait&, const BusyWait&) = default;
};

// WaitBusy without a time limit.
inline constexpr uint32_t kWaitBusyNoLimit = 0xFFFFFFFF;
// The longest a busy wait lasts unless told otherwise (on the link's clock): longer than
// any flash programming (the slowest model needs more than three minutes beyond its
// package's time). A printer still busy after it is stuck, and waiting on would never
// end the update.
inline constexpr uint32_t kWaitBusyLimitMs = 10 * 60 * 1000;

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

// How packets go out: padded to 64 bytes, one write each (models below 19), or the
// large-model mode (no padding; split commands send header and payload as two writes).
enum class SendMode { kPadded, kUnpadded };
inline SendMode SendModeFor(bool largeModel) {
  return largeModel ? SendMode::kUnpadded : SendMode::kPadded;
}

// How a status check goes (CheckDeviceStatus); name only what differs, for example
// {.show = true, .busyWaitFirst = true}.
struct StatusCheck {
  bool show = false;             // the check is shown: the codes it finds are reported
  bool suppress = false;         // a failed transaction is not reported, even when shown
  bool forceAlertReport = true;  // a tray condition (alert 0x0403) is reported like the rest
  bool busyWaitFirst = false;    // a busy printer is waited out before its state is read
};

// How one alert detail is asked for (CheckDeviceAlert).
struct AlertCheck {
  bool show = false;        // as StatusCheck::show
  bool suppress = false;    // as StatusCheck::suppress
  bool forceReport = true;  // a tray condition is reported rather than overlooked
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

// The command protocol bound to one open printer channel: one command packet out, one
// response packet in, under the printer's I/O right. Both 256 KiB buffers live inside
// the object, so a transaction allocates nothing. Results are one-byte codes
// (0x20 = answered); nothing is retried at this level.
class CPrnCmd {
 public:
  CPrnCmd(usb::CommandChannel* link, SendMode mode);
  CPrnCmd(const CPrnCmd&) = delete;
  CPrnCmd& operator=(const CPrnCmd&) = delete;

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
  // (bits 0x81 of byte 0 clear), or shows an alert when stopOnAlert is set: then ready
  // (1 in the traces). A failed transaction ends the wait with its result. Once limitMs
  // has passed on the link's clock with the printer still busy, the wait ends timed out
  // (kWaitBusyNoLimit: never).
  [[nodiscard]] BusyWait WaitBusy(uint32_t intervalMs, bool stopOnAlert,
                                  uint32_t limitMs = kWaitBusyLimitMs);
  // The status summary and, for an alert, its detail: 0, 63, 3013 or 3015, with the
  // printer's error code (or the failed transaction's result) in errorCode. A busy wait
  // that times out ends the check with 63 and error code 0: the state was never read.
  [[nodiscard]] StatusResult CheckDeviceStatus(uint32_t* errorCode, const StatusCheck& check);
  [[nodiscard]] StatusResult CheckDeviceAlert(uint16_t detailCode, uint32_t* errorCode,
                                              const AlertCheck& check);
  // The one place an error code is reported: a trace line; the code itself travels back
  // to the caller, which shows its catalogue message.
  uint32_t ShowErrorMsg(uint32_t errorCode, bool showDialog, const char* context);

  // --- State ---
  uint32_t lastError() const { return lastError_; }
  uint16_t responseLength() const { return responseLength_; }
  uint32_t bytesSent() const { return bytesSent_; }
  uint32_t bytesReceived() const { return bytesReceived_; }
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
  // Reads the status summary, after waiting out a busy printer when busyWaitFirst is set:
  // 0, or the result of the transaction that failed (0x22 for an answer without data).
  // stillBusy is set (and the summary not read) when a busy wait timed out.
  uint8_t ReadStatusSummary(bool busyWaitFirst, StatusSummary& summary, bool& stillBusy);
  log::DebugLog& Log() { return link_->log(); }

  usb::CommandChannel* link_;
  SendMode mode_;
  uint32_t bytesSent_ = 0;
  ZeroedBuffer<kBufferSize> sendBuffer_;
  std::array<uint8_t, kResponseHeaderLength> responseHeader_{};
  uint32_t bytesReceived_ = 0;
  ZeroedBuffer<kBufferSize> responseData_;
  uint16_t responseLength_ = 0;
  uint32_t lastError_ = 0;
};

// One alert detail to ask for, and whether its code is reported even when it is a tray
// condition the caller may overlook.
struct AlertRequest {
  uint16_t detail = 0;
  bool force = true;
  friend bool operator==(const AlertRequest&, const AlertRequest&) = default;
};

// The details a status summary asks for, in order: 0x0407 (byte 2 bit 0x02), 0x0408
// (byte 2 bit 0x04), then the first of 0x0406 (byte 2 bit 0x08), 0x0405 (byte 1 bit
// 0x02) and 0x0403 (byte 1 bit 0x08, forced as the caller says), else 0x040A (byte 1
// bit 0x01).
struct AlertPlan {
  std::array<AlertRequest, 3> requests{};
  uint32_t count = 0;
};
AlertPlan PlanAlertDetails(const StatusSummary& summary, bool forceAlertReport);

}  // namespace kiln::protocol
