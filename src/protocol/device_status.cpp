// Busy polling, the status summary and the alert details.
#include <cstdint>

#include "protocol/prn_cmd.h"

namespace kiln::protocol {

using usb::ToByte;

namespace {

constexpr uint32_t kStatusPollMs = 250;

unsigned AddressText(const void* pointer) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer));
}

bool IsRibbonInserted(uint32_t code) {
  return code == printer_error::kRibbonInserted || code == printer_error::kRibbonInserted2;
}

}  // namespace

uint32_t CPrnCmd::ShowErrorMsg(uint32_t errorCode, bool showDialog, const char* /*context*/) {
  if (link_ != nullptr) {
    Log().LogPrint(1, "==>ShowErrorMsg(), bShowDlg = %d, dwErrCode = 0x%08X,\n", showDialog ? 1 : 0,
                   errorCode);
  }
  return 0;
}

uint32_t CPrnCmd::WaitBusy(uint32_t intervalMs, bool stopOnAlert, uint32_t limitMs) {
  const uint64_t startMs = limitMs == kWaitBusyNoLimit ? 0 : link_->clock().NowMs();
  for (;;) {
    const ResultCode result = DoCommand(cmd::kStatusSummary);
    if (result != ResultCode::kAnswered) return ToByte(result);
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    GetResponseData(&data, &length);
    Log().LogPrint(1, "In WaitBusy, RequestStatusSummary()::return 0x%02X, dwBuf = %d, lpBuf = 0x%08X,\n",
                   ToByte(ResultCode::kAnswered), length, AddressText(data));
    Log().LogHexDump(1, data, length);
    if (data != nullptr) {
      const StatusSummary summary = StatusSummary::From(data, length);
      if (stopOnAlert && summary.AlertPending()) return 1;
      if (!summary.BusyOrWorking()) return 1;
    }
    if (limitMs != kWaitBusyNoLimit && link_->clock().NowMs() - startMs >= limitMs) {
      Log().LogPrint(1, "In WaitBusy, still busy after %u ms: giving up\n", limitMs);
      return kWaitBusyTimedOut;
    }
    link_->clock().Sleep(intervalMs);
  }
}

uint32_t CPrnCmd::CheckDeviceAlert(uint16_t detailCode, uint32_t* errorCode, bool show,
                                   bool suppress, bool forceReport) {
  uint32_t ignored = 0;
  if (errorCode == nullptr) errorCode = &ignored;

  const ResultCode result = DoCommand(detailCode);
  if (result != ResultCode::kAnswered) {
    *errorCode = ToByte(result);
    ShowErrorMsg(ToByte(result), show && !suppress, "In CheckDeviceAlert(1)");
    return kStatusError;
  }
  const uint8_t* data = nullptr;
  uint32_t length = 0;
  GetResponseData(&data, &length);
  Log().LogPrint(1, "==>Prn->CheckDeviceAlert(0x%04X)::return 0x%02X, dwBuf = %d, lpBuf = 0x%08X,\n",
                 detailCode, ToByte(result), length, AddressText(data));
  Log().LogHexDump(1, data, length);

  uint32_t code = 0;
  if (data != nullptr) {
    if (data[0] == 0) {
      *errorCode = 0;
      return kStatusOk;
    }
    auto Byte = [&](uint32_t at) -> uint32_t { return at < length ? data[at] : 0u; };
    code = Byte(1) << 16 | Byte(2) << 8 | Byte(3);
    if (IsRibbonInserted(code)) {
      *errorCode = code;
      return kStatusOk;
    }
    if (detailCode == cmd::kAlert0407 && code == printer_error::kSequenceError) {
      *errorCode = code;
      return kStatusJobReset;
    }
    if (detailCode == cmd::kAlert0403) code &= 0x80FF;
    if (code == printer_error::kUnnamed8007) return kStatusOk;
    if (!forceReport &&
        (code == printer_error::kTrayMissing2 || code == printer_error::kTrayMissing)) {
      *errorCode = 0;
      return kStatusOk;
    }
    ShowErrorMsg(code, show, "In CheckDeviceAlert(2)");
  }

  *errorCode = code != 0 ? code : printer_error::kPaperOut;
  Log().LogPrint(1, "==>Prn->CheckDeviceAlert():: lpdwErrCode = 0x%08X, dwErrState = 0x%08X,\n",
                 AddressText(errorCode), *errorCode);
  return kStatusError;
}

uint32_t CPrnCmd::CheckDeviceStatus(uint32_t* errorCode, bool show, bool suppress,
                                    bool forceAlertReport, bool busyWaitFirst) {
  uint32_t ignored = 0;
  if (errorCode == nullptr) errorCode = &ignored;
  *errorCode = 0;
  bool pendingReset = false;
  const bool showFailure = show && !suppress;

  // A failed summary request ends the check; pending I/O on the link is abandoned.
  auto Failed = [&](uint32_t code) {
    *errorCode = code;
    ShowErrorMsg(code, showFailure, "In CheckDeviceStatus");
    link_->CancelPipes();
    return kStatusError;
  };
  auto JobReset = [&] {
    (void)DoCommand3(cmd::kJobReset, 2, 0);
    return kStatusJobReset;
  };
  auto End = [&](uint32_t result) {
    if (result == kStatusError) {
      link_->CancelPipes();
      return kStatusError;
    }
    if (result == kStatusJobReset) return JobReset();
    return result;
  };
  auto Finish = [&](uint32_t result) { return pendingReset ? JobReset() : End(result); };

  for (;;) {
    if (busyWaitFirst && DoCommand(cmd::kStatusSummary) == ResultCode::kAnswered) {
      (void)WaitBusy(kStatusPollMs, false);
    }
    ResultCode polled = DoCommand(cmd::kStatusSummary);
    if (polled != ResultCode::kAnswered) return Failed(ToByte(polled));
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    GetResponseData(&data, &length);
    if (data == nullptr) return Failed(ToByte(ResultCode::kShortResponse));

    if (busyWaitFirst && (data[0] & 0x80) != 0) {
      (void)WaitBusy(kStatusPollMs, false);
      polled = DoCommand(cmd::kStatusSummary);
      if (polled != ResultCode::kAnswered) return Failed(ToByte(polled));
      GetResponseData(&data, &length);
    }
    Log().LogPrint(1, "==>In CheckDeviceStatus, RequestStatusSummary()::return 0x%02X, dwBuf = %d, lpBuf = 0x%08X\n",
                   ToByte(polled), length, AddressText(data));
    Log().LogHexDump(1, data, length);
    if (data == nullptr) return Failed(ToByte(ResultCode::kShortResponse));

    const StatusSummary summary = StatusSummary::From(data, length);
    if (summary.AllZero() || !summary.AlertPending()) return Finish(kStatusOk);

    uint32_t result = kStatusOk;
    if ((summary.byte2 & 0x02) != 0) {
      pendingReset = false;
      result = CheckDeviceAlert(cmd::kAlert0407, errorCode, show, suppress, true);
      if (result != kStatusOk) return End(result);
    }
    if ((summary.byte2 & 0x04) != 0) {
      result = CheckDeviceAlert(cmd::kAlert0408, errorCode, show, suppress, true);
      if (result != kStatusOk) return Finish(result);
    }

    uint16_t detail = 0;
    bool force = true;
    if ((summary.byte2 & 0x08) != 0) {
      detail = cmd::kAlert0406;
    } else if ((summary.byte1 & 0x02) != 0) {
      detail = cmd::kAlert0405;
    } else if ((summary.byte1 & 0x08) != 0) {
      detail = cmd::kAlert0403;
      force = forceAlertReport;
    }
    if (detail != 0) {
      result = CheckDeviceAlert(detail, errorCode, show, suppress, force);
      if (result == kStatusJobReset) return JobReset();
      return End(result);
    }

    if ((summary.byte1 & 0x01) != 0) {
      result = CheckDeviceAlert(cmd::kAlert040A, errorCode, show, suppress, true);
      if (IsRibbonInserted(*errorCode)) {
        *errorCode = printer_error::kRibbonInserted;
        return kStatusOk;
      }
      if (*errorCode == 0) return kStatusOk;
      if (result != kStatusOk) return End(result);
      pendingReset = true;
    }

    if ((summary.byte0 & 0x04) != 0) return Finish(kStatusStopBit);
    // Error bits without a detail to ask for: poll the summary again.
  }
}

}  // namespace kiln::protocol
