// Busy polling, the status summary and the alert details.
#include <cstdint>

#include "protocol/prn_cmd.h"

namespace kiln::protocol {

using log::TraceAddress;
using usb::ToByte;

namespace {

constexpr uint32_t kStatusPollMs = 250;
// A summary that keeps showing error bits without a detail to ask for is polled for
// about a minute; a printer still in that state then has not passed the check.
constexpr uint32_t kUnresolvedSummaryPolls = 240;

bool IsRibbonInserted(uint32_t code) {
  return code == printer_error::kRibbonInserted || code == printer_error::kRibbonInserted2;
}

}  // namespace

uint32_t CPrnCmd::ShowErrorMsg(uint32_t errorCode, bool showDialog, const char* /*context*/) {
  if (link_ != nullptr) {
    Log().LogPrint(1, "==>ShowErrorMsg(), shown = %d, error code = 0x%08X,\n", showDialog ? 1 : 0,
                   errorCode);
  }
  return 0;
}

BusyWait CPrnCmd::WaitBusy(uint32_t intervalMs, bool stopOnAlert, uint32_t limitMs) {
  const uint64_t startMs = limitMs == kWaitBusyNoLimit ? 0 : link_->clock().NowMs();
  for (;;) {
    const ResultCode result = DoCommand(cmd::kStatusSummary);
    if (result != ResultCode::kAnswered) return BusyWait::Failed(result);
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    GetResponseData(&data, &length);
    Log().LogPrint(
        1, "In WaitBusy, RequestStatusSummary()::return 0x%02X, length = %d, data at 0x%08X,\n",
        ToByte(ResultCode::kAnswered), length, TraceAddress(data));
    Log().LogHexDump(1, data, length);
    if (data != nullptr) {
      const StatusSummary summary = StatusSummary::From(data, length);
      if (stopOnAlert && summary.AlertPending()) return BusyWait::Ready();
      if (!summary.BusyOrWorking()) return BusyWait::Ready();
    }
    if (limitMs != kWaitBusyNoLimit && link_->clock().NowMs() - startMs >= limitMs) {
      Log().LogPrint(1, "In WaitBusy, still busy after %u ms: giving up\n", limitMs);
      return BusyWait::TimedOut();
    }
    link_->clock().Sleep(intervalMs);
  }
}

StatusResult CPrnCmd::CheckDeviceAlert(uint16_t detailCode, uint32_t* errorCode,
                                       const AlertCheck& check) {
  uint32_t ignored = 0;
  if (errorCode == nullptr) errorCode = &ignored;

  const ResultCode result = DoCommand(detailCode);
  if (result != ResultCode::kAnswered) {
    *errorCode = ToByte(result);
    ShowErrorMsg(ToByte(result), check.show && !check.suppress, "In CheckDeviceAlert(1)");
    return kStatusError;
  }
  const uint8_t* data = nullptr;
  uint32_t length = 0;
  GetResponseData(&data, &length);
  Log().LogPrint(1,
                 "==>Prn->CheckDeviceAlert(0x%04X)::return 0x%02X, length = %d, data at 0x%08X,\n",
                 detailCode, ToByte(result), length, TraceAddress(data));
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
    if (!check.forceReport &&
        (code == printer_error::kTrayMissing2 || code == printer_error::kTrayMissing)) {
      *errorCode = 0;
      return kStatusOk;
    }
    ShowErrorMsg(code, check.show, "In CheckDeviceAlert(2)");
  }

  *errorCode = code != 0 ? code : printer_error::kPaperOut;
  Log().LogPrint(1, "==>Prn->CheckDeviceAlert():: error code at 0x%08X, error code = 0x%08X,\n",
                 TraceAddress(errorCode), *errorCode);
  return kStatusError;
}

AlertPlan PlanAlertDetails(const StatusSummary& summary, bool forceAlertReport) {
  AlertPlan plan;
  auto Ask = [&plan](uint16_t detail, bool force) {
    plan.requests[plan.count++] = {detail, force};
  };
  if ((summary.byte2 & 0x02) != 0) Ask(cmd::kAlert0407, true);
  if ((summary.byte2 & 0x04) != 0) Ask(cmd::kAlert0408, true);
  if ((summary.byte2 & 0x08) != 0) {
    Ask(cmd::kAlert0406, true);
  } else if ((summary.byte1 & 0x02) != 0) {
    Ask(cmd::kAlert0405, true);
  } else if ((summary.byte1 & 0x08) != 0) {
    Ask(cmd::kAlert0403, forceAlertReport);
  } else if ((summary.byte1 & 0x01) != 0) {
    Ask(cmd::kAlert040A, true);
  }
  return plan;
}

uint8_t CPrnCmd::ReadStatusSummary(bool busyWaitFirst, StatusSummary& summary, bool& stillBusy) {
  stillBusy = false;
  // A failed poll shows again in the summary read after the wait; a printer still busy
  // when the wait ran out is not read at all.
  if (busyWaitFirst && DoCommand(cmd::kStatusSummary) == ResultCode::kAnswered &&
      WaitBusy(kStatusPollMs, false).timedOut) {
    stillBusy = true;
    return 0;
  }
  ResultCode polled = DoCommand(cmd::kStatusSummary);
  if (polled != ResultCode::kAnswered) return ToByte(polled);
  const uint8_t* data = nullptr;
  uint32_t length = 0;
  GetResponseData(&data, &length);
  if (data == nullptr) return ToByte(ResultCode::kShortResponse);

  if (busyWaitFirst && (data[0] & 0x80) != 0) {
    if (WaitBusy(kStatusPollMs, false).timedOut) {  // as above
      stillBusy = true;
      return 0;
    }
    polled = DoCommand(cmd::kStatusSummary);
    if (polled != ResultCode::kAnswered) return ToByte(polled);
    GetResponseData(&data, &length);
  }
  Log().LogPrint(1,
                 "==>In CheckDeviceStatus, RequestStatusSummary()::return 0x%02X, length = %d, "
                 "data at 0x%08X\n",
                 ToByte(polled), length, TraceAddress(data));
  Log().LogHexDump(1, data, length);
  if (data == nullptr) return ToByte(ResultCode::kShortResponse);
  summary = StatusSummary::From(data, length);
  return 0;
}

StatusResult CPrnCmd::CheckDeviceStatus(uint32_t* errorCode, const StatusCheck& check) {
  uint32_t ignored = 0;
  if (errorCode == nullptr) errorCode = &ignored;
  *errorCode = 0;

  // How the check ends once it stops polling: completed (a failure abandons pending I/O,
  // a job reset result sends the reset), or finished (a reset pending from a 0x040A alert
  // turns the result into a job reset, then completed).
  enum class Ending { kPolling, kComplete, kFinish };
  Ending ending = Ending::kPolling;
  StatusResult result = kStatusOk;
  bool pendingReset = false;
  for (uint32_t poll = 0; ending == Ending::kPolling; ++poll) {
    if (poll == kUnresolvedSummaryPolls) {
      Log().LogPrint(1, "==>In CheckDeviceStatus, error bits without a detail after %u polls,\n",
                     poll);
      result = kStatusError;
      ending = Ending::kComplete;
      break;
    }
    if (poll != 0) link_->clock().Sleep(kStatusPollMs);

    StatusSummary summary;
    bool stillBusy = false;
    if (const uint8_t failed = ReadStatusSummary(check.busyWaitFirst, summary, stillBusy);
        failed != 0) {
      *errorCode = failed;
      ShowErrorMsg(failed, check.show && !check.suppress, "In CheckDeviceStatus");
      result = kStatusError;
      ending = Ending::kComplete;
      break;
    }
    if (stillBusy) {
      Log().LogPrint(1, "==>In CheckDeviceStatus, the printer stayed busy: state not read,\n");
      result = kStatusError;
      ending = Ending::kComplete;
      break;
    }
    if (!summary.AlertPending()) {
      ending = Ending::kFinish;
      break;
    }

    const AlertPlan plan = PlanAlertDetails(summary, check.forceAlertReport);
    for (uint32_t i = 0; i < plan.count && ending == Ending::kPolling; ++i) {
      const AlertRequest& request = plan.requests[i];
      result = CheckDeviceAlert(
          request.detail, errorCode,
          {.show = check.show, .suppress = check.suppress, .forceReport = request.force});
      if (request.detail == cmd::kAlert0407) {
        pendingReset = false;
        if (result != kStatusOk) ending = Ending::kComplete;
      } else if (request.detail == cmd::kAlert0408) {
        if (result != kStatusOk) ending = Ending::kFinish;
      } else if (request.detail != cmd::kAlert040A) {
        ending = Ending::kComplete;  // 0x0406, 0x0405 and 0x0403 always end the check
      } else if (IsRibbonInserted(*errorCode) || *errorCode == 0) {
        // A ribbon just inserted, or no code after all: no error.
        if (*errorCode != 0) *errorCode = printer_error::kRibbonInserted;
        result = kStatusOk;
        ending = Ending::kComplete;
      } else if (result != kStatusOk) {
        ending = Ending::kComplete;
      } else {
        pendingReset = true;
      }
    }
    if (ending == Ending::kPolling && (summary.byte0 & 0x04) != 0) {
      result = kStatusStopBit;
      ending = Ending::kFinish;
    }
    // Otherwise: error bits without a detail to ask for; the summary is polled again.
  }

  if (ending == Ending::kFinish && pendingReset) result = kStatusJobReset;
  if (result == kStatusError && link_ != nullptr) link_->CancelPipes();
  if (result == kStatusJobReset) (void)DoCommand3(cmd::kJobReset, 2, 0);  // answer not needed
  return result;
}

}  // namespace kiln::protocol
