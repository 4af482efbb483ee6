#include "protocol/printer_update.h"

#include <algorithm>
#include <array>

#include "config/firmware_version.h"
#include "protocol/image_patching.h"

namespace kiln::protocol {

namespace {

constexpr uint32_t kRetryPauseMs = 1000;
constexpr uint32_t kStatusPollMs = 250;

constexpr uint32_t kChecksumError = 0x00030302;
constexpr uint32_t kDspChecksumError = 0x00030402;
// Conditions a freshly programmed printer may report without the update having failed
// (tray, paper, cover, ribbon states).
constexpr std::array<uint32_t, 9> kHarmlessAfterUpdate = {0x00000000, 0x00000008, 0x00008000,
                                                          0x00008008, 0x00008010, 0x00050001,
                                                          0x00050101, 0x00080004, 0x00080103};
// Only codes above the transaction results are printer errors worth reporting.
constexpr uint32_t kLastTransactionCode = 0x61;

bool IsHarmless(uint32_t code) {
  return std::find(kHarmlessAfterUpdate.begin(), kHarmlessAfterUpdate.end(), code) !=
         kHarmlessAfterUpdate.end();
}

// A check whose last transaction failed (the summary or an alert detail could not be
// read), or that failed without a printer code (error bits that never resolved).
bool StateUnread(const CPrnCmd& prn, StatusResult result, uint32_t errorCode) {
  return prn.lastError() != 0 || (result == kStatusError && errorCode == 0);
}

}  // namespace

bool IsChecksumError(uint32_t code) {
  return code == kChecksumError || code == kDspChecksumError;
}

PrinterUpdate::PrinterUpdate(uint32_t instance, std::string identity)
    : instance_(instance), identity_(std::move(identity)) {
  outcome_.location = identity_;
  outcome_.result = PrinterResult::kNotSent;
}

bool PrinterUpdate::Probe(DownloadSession& session, const FlashRequest& request,
                          FixedText<512>& failures) {
  bool answered = false;
  const bool opened = session.OpenAndProbe(request.openModel, identity_, answered);
  // Where discovery found it, even when it was not opened: its serial number and model.
  if (session.link().identity() == identity_) outcome_ = DescribeFoundPrinter(session.link());
  if (!opened) {
    const std::string& reason = session.link().refusal().text;
    NoteNotSent(failures, outcome_, "Printer %u was not sent the firmware: %s.", instance_,
                reason.empty() ? "it could not be opened" : reason.c_str());
    return false;
  }
  if (!answered) {
    NoteNotSent(failures, outcome_, "Printer %u was not sent the firmware: it did not answer.",
                instance_);
    return false;
  }
  if (request.readVersionBefore) outcome_.versionBefore = ReadPrintableRevision(session.prn());
  if (request.needsImage && !request.needsImage(outcome_.versionBefore)) {
    // Left out by the caller's rule: current, or, where its version could not be read
    // and so not compared, not-sent with that reason.
    needed_ = false;
    if (config::IsFirmwareVersion(outcome_.versionBefore)) {
      outcome_.result = PrinterResult::kCurrent;
    } else {
      outcome_.result = PrinterResult::kNotSent;
      outcome_.text = "Its version cannot be read: it was not sent the firmware.";
    }
    session.link().CloseIOChannel();
    return false;
  }
  return true;
}

void PrinterUpdate::KeepBlock(DownloadSession& session, const FlashRequest& request,
                              uint32_t imageSize) {
  if (request.facts.keepsDeviceBlock) {
    keptBlock_ = KeepDeviceBlock(session.prn(), request.facts, imageSize);
  }
}

TransferOutcome PrinterUpdate::Write(DownloadSession& session, const FlashRequest& request,
                                     const PatchedImage& image, DownloadObserver* progress,
                                     FixedText<512>& failures) {
  // Only this printer's own block goes into its image: one without a valid block never
  // receives another printer's.
  PatchedImage own = image;
  own.Lay(request.facts.deviceBlockOffset, keptBlock_.data(),
          static_cast<uint32_t>(keptBlock_.size()));
  const TransferOutcome transfer =
      request.largeModel ? WriteFirmwareFiles(session.prn(), request.noWaitBusyBeforeWrite,
                                              progress, request.code, request.table, own)
                         : WriteFirmwareImage(session.prn(), own, request.writeType, progress);
  if (transfer == TransferOutcome::kFileUnreadable) {
    outcome_.result = PrinterResult::kFailed;
    outcome_.text = failures.c_str();
    return transfer;
  }
  outcome_.result = PrinterResult::kSent;
  // A printer that did not take the whole firmware has failed, whatever it reports
  // later; the other printers are still updated.
  if (transfer == TransferOutcome::kRejected) {
    NoteFailure(failures, outcome_, "Printer %u did not take the firmware.", instance_);
  }
  // One that took it all but did not answer its end may be programming it: it is
  // waited for like the others, and its state after the restart decides. Without that
  // check nothing shows it was updated.
  if (transfer == TransferOutcome::kEndUnanswered && request.noWaitBurnOk) {
    NoteFailure(failures, outcome_, "Printer %u did not confirm the end of the firmware.",
                instance_);
  }
  return transfer;
}

void PrinterUpdate::LeaveUnsent() {
  outcome_.result = PrinterResult::kNotSent;
  outcome_.text = "A stop was requested before its firmware was sent.";
}

bool PrinterUpdate::Attach(DownloadSession& session, const FlashRequest& request,
                           FixedText<512>& failures) {
  bool answered = false;
  // The result shows again in the status request below.
  (void)session.OpenAndProbe(request.reopenModel, identity_, answered);
  if (!session.prn().WaitBusy(kStatusPollMs, false).ready) {
    session.link().CloseIOChannel();
    session.clock().Sleep(kRetryPauseMs);
    (void)session.OpenAndProbe(request.reopenModel, identity_, answered);
  }
  if (session.prn().DoCommand(cmd::kStatusSummary) != ResultCode::kAnswered) {
    session.link().CancelPipes();
    NoteFailure(failures, outcome_, "Printer %u did not come back after programming.", instance_);
    return false;
  }
  return true;
}

bool PrinterUpdate::Reload(DownloadSession& session, const FlashRequest& request,
                           FixedText<512>& failures,
                           const std::function<void(uint32_t)>& reportError) {
  uint32_t error = 0;
  StatusResult state = session.CheckStatus(false, error);
  if (!IsHarmless(error) && !IsChecksumError(error)) {
    // Not a known condition: look again, this time as the check that is shown.
    state = session.CheckStatus(true, error);
  }
  if (StateUnread(session.prn(), state, error)) {
    NoteFailure(failures, outcome_,
                "Printer %u: its state could not be read after programming (0x%02X).", instance_,
                error);
    return false;
  }
  if (IsHarmless(error)) error = 0;
  if (error > kLastTransactionCode) {
    reportError(error);
    outcome_.printerError = error;
    NoteFailure(failures, outcome_, "Printer %u reported error 0x%08X after programming.",
                instance_, error);
    return false;
  }
  if (!BlockCameBack(session, request, failures) ||
      !RunsExpectedVersion(session, request.expectedVersion, failures)) {
    session.link().CloseIOChannel();
    return false;
  }
  // The printer passed its check; the job reset only readies it for printing.
  if (request.waitForRestart) (void)session.prn().DoCommand3(cmd::kJobReset, 1, 0);
  session.link().CloseIOChannel();
  if (outcome_.result == PrinterResult::kSent) outcome_.result = PrinterResult::kUpdated;
  return true;
}

// Whether the printer still holds the device data block kept before programming; a
// printer that lost or changed it is named in the failure text.
bool PrinterUpdate::BlockCameBack(DownloadSession& session, const FlashRequest& request,
                                  FixedText<512>& failures) {
  if (keptBlock_.empty()) return true;
  const std::vector<uint8_t> now = ReadDeviceBlock(session.prn(), request.facts);
  if (now.empty()) {
    NoteFailure(failures, outcome_, "Printer %u lost its calibration block during programming.",
                instance_);
    return false;
  }
  if (now != keptBlock_) {
    NoteFailure(failures, outcome_, "Printer %u: its calibration block changed during programming.",
                instance_);
    return false;
  }
  return true;
}

// Whether the printer now runs the version it was sent (noted as its version after). A
// printer whose revision cannot be read is judged by its state alone; one that reports
// another version (its old one, when it came back without taking the image) has failed,
// and the failure text says which, its bytes outside printable ASCII shown as '?'.
bool PrinterUpdate::RunsExpectedVersion(DownloadSession& session, const std::string& expected,
                                        FixedText<512>& failures) {
  if (expected.empty()) return true;
  outcome_.versionAfter = ReadPrintableRevision(session.prn());
  if (outcome_.versionAfter.empty()) return true;
  if (config::StatesVersion(outcome_.versionAfter, expected)) return true;
  NoteFailure(failures, outcome_, "Printer %u reports version %s after programming, not %s.",
              instance_, outcome_.versionAfter.c_str(), expected.c_str());
  return false;
}

}  // namespace kiln::protocol
