#include "protocol/firmware_download.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/firmware_package.h"
#include "config/firmware_version.h"
#include "models/model_table.h"
#include "protocol/data_transfer.h"
#include "protocol/download_observer.h"
#include "protocol/image_patching.h"
#include "protocol/printer_outcome.h"
#include "protocol/prn_cmd.h"

namespace kiln::protocol {

namespace {

constexpr uint32_t kOpenTries = 30;
constexpr uint32_t kRetryPauseMs = 1000;
constexpr uint32_t kSecondMs = 1000;
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

bool IsChecksumError(uint32_t code) {
  return code == kChecksumError || code == kDspChecksumError;
}

bool IsHarmless(uint32_t code) {
  return std::find(kHarmlessAfterUpdate.begin(), kHarmlessAfterUpdate.end(), code) !=
         kHarmlessAfterUpdate.end();
}

// The link and protocol object of one download; whatever path the download leaves by,
// pending I/O is cancelled and the channel closed.
class DownloadSession {
 public:
  DownloadSession(const usb::LinkFactory& makeLink, bool largeModel)
      : link_(makeLink()), prn_(std::make_unique<CPrnCmd>(link_.get(), SendModeFor(largeModel))) {}
  ~DownloadSession() {
    link_->CancelPipes();
    link_->Finish();
  }
  DownloadSession(const DownloadSession&) = delete;
  DownloadSession& operator=(const DownloadSession&) = delete;

  usb::CUsbLink& link() { return *link_; }
  CPrnCmd& prn() { return *prn_; }
  platform::Clock& clock() { return link_->clock(); }

  // Opens the channel of the printer with that identity and asks for the status summary,
  // up to 30 times with a second between tries. Returns whether the last open succeeded;
  // answered tells whether the printer answered.
  bool OpenAndProbe(uint32_t model, const std::string& printer, bool& answered) {
    bool opened = false;
    answered = false;
    for (uint32_t attempt = 0; attempt < kOpenTries; ++attempt) {
      opened = link_->OpenIOChannelTo(model, printer) == usb::kOpenOk;
      if (opened && prn_->DoCommand(cmd::kStatusSummary) == ResultCode::kAnswered) {
        answered = true;
        return true;
      }
      link_->CloseIOChannel();
      clock().Sleep(kRetryPauseMs);
    }
    return opened;
  }

  StatusResult CheckStatus(bool show, uint32_t& errorCode) {
    return prn_->CheckDeviceStatus(&errorCode, show, false, true, true);
  }

 private:
  std::unique_ptr<usb::CUsbLink> link_;
  std::unique_ptr<CPrnCmd> prn_;
};

// Each failed printer adds a sentence to resultText, as far as it fits, and to its own
// outcome's text.
template <typename... Args>
void NoteFailure(UpdateContext& context, PrinterOutcome& printer, const char* format,
                 Args... args) {
  FixedText<256> sentence;
  sentence.Format(format, args...);
  if (!context.resultText.empty()) context.resultText.Append(" ");
  context.resultText.Append(sentence.view());
  printer.result = PrinterResult::kFailed;
  if (!printer.text.empty()) printer.text += ' ';
  printer.text.append(sentence.view());
}

// Tells the user through the debug trace and the observer; the update goes on.
void Warn(UpdateContext& context, log::DebugLog& trace, const std::string& text) {
  trace.LogPrint(1, "Warning: %s\n", text.c_str());
  if (context.notifyWindow != nullptr) context.notifyWindow->OnWarning(text.c_str());
}

// The print queues held for the printers of this update. Whichever way the download
// ends, they are resumed when this goes out of scope; a queue that stays paused is
// reported like one that could not be paused.
class QueueHolds {
 public:
  QueueHolds(const QueueHolder& holder, UpdateContext& context, log::DebugLog& trace)
      : holder_(holder), context_(context), trace_(trace) {}
  ~QueueHolds() {
    for (const auto& held : holds_) {
      if (!held->Release()) {
        Warn(context_, trace_,
             "A print queue paused for the update could not be resumed: resume it in the "
             "printer settings.");
      }
    }
  }
  QueueHolds(const QueueHolds&) = delete;
  QueueHolds& operator=(const QueueHolds&) = delete;

  void Hold(const char* node) {
    if (!holder_) return;
    std::unique_ptr<HeldQueues> held = holder_({"", node, context_.driverName.c_str()});
    if (held == nullptr) return;
    const std::string warning = held->Warning();
    if (!warning.empty()) Warn(context_, trace_, warning);
    holds_.push_back(std::move(held));
  }

 private:
  const QueueHolder& holder_;
  UpdateContext& context_;
  log::DebugLog& trace_;
  std::vector<std::unique_ptr<HeldQueues>> holds_;
};

// The image bytes a device data block may overwrite, as loaded. Each printer's block is
// patched into the image after these are put back, so a printer without a valid block
// never receives the block of the printer before it.
class BlockArea {
 public:
  BlockArea(const std::vector<uint8_t>& image, uint32_t offset, uint32_t size)
      : offset_(std::min<std::size_t>(offset, image.size())),
        original_(image.begin() + static_cast<std::ptrdiff_t>(offset_),
                  image.begin() + static_cast<std::ptrdiff_t>(
                                      std::min<std::size_t>(offset_ + size, image.size()))) {}
  void Restore(std::vector<uint8_t>& image) const {
    std::copy(original_.begin(), original_.end(),
              image.begin() + static_cast<std::ptrdiff_t>(offset_));
  }

 private:
  std::size_t offset_;
  std::vector<uint8_t> original_;
};

// Sends the image (or the three files) to every printer found when the update began
// (printers: their identities; printer n is the n-th of them). A printer whose channel
// does not open, that never answers, or that does not take the whole
// firmware counts as a failure. Each printer's queues are held before its image goes
// out, and the device data block kept for it is noted in keptBlocks; outcomes[n - 1]
// says what printer n is and whether it took the firmware. Returns false when a code or
// table file could not be read: then nothing more is sent.
bool SendToEveryPrinter(DownloadSession& session, UpdateContext& context,
                        const FlashRequest& request, std::vector<uint8_t>& image,
                        const std::vector<std::string>& printers, QueueHolds& queueHolds,
                        std::vector<std::vector<uint8_t>>& keptBlocks,
                        std::vector<PrinterOutcome>& outcomes, uint32_t& failures) {
  const bool keepBlock =
      request.waitForRestart &&
      (context.largeModel || models::QuirksOf(request.openModel).keepsDeviceBlock);
  // Whether each printer's state is checked after its restart.
  const bool confirmed = !context.noWaitBurnOk;
  const BlockArea blockArea(image, DeviceBlockOffset(request.openModel),
                            DeviceBlockSize(request.openModel));
  for (uint32_t instance = 1; instance <= printers.size(); ++instance) {
    PrinterOutcome& outcome = outcomes[instance - 1];
    bool answered = false;
    if (!session.OpenAndProbe(request.openModel, printers[instance - 1], answered)) {
      NoteFailure(context, outcome, "Printer %u could not be opened.", instance);
      ++failures;
      continue;
    }
    outcome = DescribeFoundPrinter(session.link());
    if (!answered) {
      NoteFailure(context, outcome, "Printer %u did not answer.", instance);
      ++failures;
      continue;
    }
    if (request.readVersionBefore) outcome.versionBefore = ReadPrintableRevision(session.prn());
    queueHolds.Hold(session.link().devicePath());
    if (keepBlock) {
      blockArea.Restore(image);
      keptBlocks[instance - 1] =
          PreserveDeviceBlock(session.prn(), image, request.openModel, context.connectedModel);
    }
    const auto size = static_cast<uint32_t>(image.size());
    const TransferOutcome transfer =
        context.largeModel ? WriteFirmwareFiles(session.prn(), context, request.code, request.table,
                                                image.data(), size)
                           : WriteFirmwareImage(session.prn(), image.data(), size,
                                                request.writeType, context.notifyWindow);
    if (transfer == TransferOutcome::kFileUnreadable) {
      outcome.result = PrinterResult::kFailed;
      outcome.text = context.resultText.c_str();
      return false;
    }
    outcome.result = PrinterResult::kSent;
    // A printer that did not take the whole firmware has failed, whatever it reports
    // later; the other printers are still updated.
    if (transfer == TransferOutcome::kRejected) {
      NoteFailure(context, outcome, "Printer %u did not take the firmware.", instance);
      ++failures;
    }
    // One that took it all but did not answer its end may be programming it: it is
    // waited for like the others, and its state after the restart decides. Without that
    // check nothing shows it was updated.
    if (transfer == TransferOutcome::kEndUnanswered && !confirmed) {
      NoteFailure(context, outcome, "Printer %u did not confirm the end of the firmware.",
                  instance);
      ++failures;
    }
  }
  session.link().CloseIOChannel();
  return true;
}

// A check whose last transaction failed (the summary or an alert detail could not be
// read), or that failed without a printer code (error bits that never resolved).
bool StateUnread(const CPrnCmd& prn, StatusResult result, uint32_t errorCode) {
  return prn.lastError() != 0 || (result == kStatusError && errorCode == 0);
}

// Whether the printer still holds the device data block kept before programming; a
// printer that lost or changed it is named in resultText.
bool BlockCameBack(DownloadSession& session, UpdateContext& context, PrinterOutcome& outcome,
                   uint32_t instance, const std::vector<uint8_t>& kept) {
  if (kept.empty()) return true;
  const std::vector<uint8_t> now = ReadDeviceBlock(session.prn(), context.connectedModel);
  if (now.empty()) {
    NoteFailure(context, outcome, "Printer %u lost its calibration block during programming.",
                instance);
    return false;
  }
  if (now != kept) {
    NoteFailure(context, outcome, "Printer %u: its calibration block changed during programming.",
                instance);
    return false;
  }
  return true;
}

// Whether the printer now runs the version it was sent (noted as its version after). A
// printer whose revision cannot be read is judged by its state alone; one that reports
// another version (its old one, when it came back without taking the image) has failed,
// and resultText says which, its bytes outside printable ASCII shown as '?'.
bool RunsExpectedVersion(DownloadSession& session, UpdateContext& context, PrinterOutcome& outcome,
                         uint32_t instance, const std::string& expected) {
  if (expected.empty()) return true;
  outcome.versionAfter = ReadPrintableRevision(session.prn());
  if (outcome.versionAfter.empty()) return true;
  if (config::StatesVersion(outcome.versionAfter, expected)) return true;
  NoteFailure(context, outcome, "Printer %u reports version %s after programming, not %s.",
              instance, outcome.versionAfter.c_str(), expected.c_str());
  return false;
}

// Each printer after its restart: answering, no longer busy, without an error, holding
// the device data block it had (keptBlocks) and running the expected version. A printer's error
// code is notified through reportError; a printer that does not come back, whose state cannot be
// read or whose block differs is named in resultText. A printer that took the firmware and
// passes counts as updated in outcomes.
uint32_t ConfirmEveryPrinter(DownloadSession& session, UpdateContext& context,
                             const FlashRequest& request, const std::vector<std::string>& printers,
                             const std::vector<std::vector<uint8_t>>& keptBlocks,
                             std::vector<PrinterOutcome>& outcomes,
                             const std::function<void(uint32_t)>& reportError) {
  uint32_t failures = 0;
  for (uint32_t instance = 1; instance <= printers.size(); ++instance) {
    const std::string& printer = printers[instance - 1];
    PrinterOutcome& outcome = outcomes[instance - 1];
    bool answered = false;
    // The result shows again in the status request below.
    (void)session.OpenAndProbe(request.reopenModel, printer, answered);
    if (!session.prn().WaitBusy(kStatusPollMs, false).ready) {
      session.link().CloseIOChannel();
      session.clock().Sleep(kRetryPauseMs);
      (void)session.OpenAndProbe(request.reopenModel, printer, answered);
    }
    if (session.prn().DoCommand(cmd::kStatusSummary) != ResultCode::kAnswered) {
      session.link().CancelPipes();
      NoteFailure(context, outcome, "Printer %u did not come back after programming.", instance);
      ++failures;
      continue;
    }

    uint32_t error = 0;
    StatusResult result = session.CheckStatus(false, error);
    if (!IsHarmless(error) && !IsChecksumError(error)) {
      // Not a known condition: look again, this time as the check that is shown.
      result = session.CheckStatus(true, error);
    }
    if (StateUnread(session.prn(), result, error)) {
      NoteFailure(context, outcome,
                  "Printer %u: its state could not be read after programming (0x%02X).", instance,
                  error);
      ++failures;
      continue;
    }
    if (IsHarmless(error)) error = 0;
    if (error > kLastTransactionCode) {
      reportError(error);
      NoteFailure(context, outcome, "Printer %u reported error 0x%08X after programming.", instance,
                  error);
      ++failures;
      continue;
    }
    if (!BlockCameBack(session, context, outcome, instance, keptBlocks[instance - 1])) {
      session.link().CloseIOChannel();
      ++failures;
      continue;
    }
    if (!RunsExpectedVersion(session, context, outcome, instance, request.expectedVersion)) {
      session.link().CloseIOChannel();
      ++failures;
      continue;
    }
    // The printer passed its check; the job reset only readies it for printing.
    if (request.waitForRestart) (void)session.prn().DoCommand3(cmd::kJobReset, 1, 0);
    session.link().CloseIOChannel();
    if (outcome.result == PrinterResult::kSent) outcome.result = PrinterResult::kUpdated;
  }
  return failures;
}

}  // namespace

FirmwareDownload::FirmwareDownload(UpdateContext& context, usb::LinkFactory makeLink,
                                   QueueHolder holdQueues)
    : context_(context), makeLink_(std::move(makeLink)), holdQueues_(std::move(holdQueues)) {}

void FirmwareDownload::Notify(uint32_t kind, uint32_t value) {
  if (context_.notifyWindow != nullptr) context_.notifyWindow->OnDownloadNotification(kind, value);
}

void FirmwareDownload::Progress(DownloadObserver::Stage stage) {
  if (context_.notifyWindow != nullptr) context_.notifyWindow->OnDownloadStage(stage);
}

bool FirmwareDownload::FlashFirmware(const FlashRequest& request) {
  std::vector<PrinterOutcome> outcomes;
  return FlashFirmware(request, outcomes);
}

bool FirmwareDownload::FlashFirmware(const FlashRequest& request,
                                     std::vector<PrinterOutcome>& outcomes) {
  context_.resultText.Clear();
  outcomes.clear();

  if (!request.image.readable()) {
    context_.resultText = "Open Firmware File Error!!";
    return false;
  }
  // A copy: each printer's device data block and the colour table are patched into it.
  std::vector<uint8_t> image(*request.image.bytes);
  if (request.colourTable.named() && !MergeTableFile(request.colourTable, request.image.path, image,
                                                     context_.targetModel, context_.resultText)) {
    return false;
  }

  DownloadSession session(makeLink_, context_.largeModel);
  // Each printer is followed by where it is plugged in: it leaves USB and comes back under
  // a new node when it restarts, while the others are still being sent to.
  const std::vector<std::string> printers = session.link().PrinterIdentities(request.openModel);
  const auto count = static_cast<uint32_t>(printers.size());
  outcomes.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    outcomes[i].location = printers[i];
    outcomes[i].result = PrinterResult::kNotSent;
  }
  if (count == 0) {
    // Nothing would be written: do not count down or report success.
    context_.resultText = "No printer of the model is connected.";
    return false;
  }

  // Declared after the session: the queues are resumed before its link closes.
  QueueHolds queueHolds(holdQueues_, context_, session.link().log());
  std::vector<std::vector<uint8_t>> keptBlocks(count);
  uint32_t failures = 0;
  Progress(DownloadObserver::Stage::kSending);
  if (!SendToEveryPrinter(session, context_, request, image, printers, queueHolds, keptBlocks,
                          outcomes, failures)) {
    return false;
  }
  std::vector<uint8_t>().swap(image);
  // No printer received the firmware: nothing to wait for.
  if (failures >= count) return false;
  if (request.waitForRestart && context_.noWaitBurnOk) return failures == 0;

  // A checksum error right after the download means the printer rejected the image.
  session.clock().Sleep(kSecondMs);
  if (session.link().OpenIOChannelTo(request.reopenModel, printers.front()) == usb::kOpenOk) {
    uint32_t deviceError = 0;
    // Only the checksum codes matter here; the full check follows the count-down.
    (void)session.CheckStatus(false, deviceError);
    session.link().CloseIOChannel();
    if (IsChecksumError(deviceError)) {
      Notify(DownloadObserver::kPrinterError, deviceError);
      context_.resultText.Format("Printer 1 reported checksum error 0x%08X after the download.",
                                 deviceError);
      outcomes.front().result = PrinterResult::kFailed;
      outcomes.front().text = context_.resultText.c_str();
      return false;
    }
  }

  CountDown(session.clock(), request);
  if (context_.noWaitBurnOk) return failures == 0;

  Progress(DownloadObserver::Stage::kReconnecting);
  failures +=
      ConfirmEveryPrinter(session, context_, request, printers, keptBlocks, outcomes,
                          [this](uint32_t code) { Notify(DownloadObserver::kPrinterError, code); });
  return failures == 0;
}

void FirmwareDownload::CountDown(platform::Clock& clock, const FlashRequest& request) {
  uint32_t seconds = request.waitSeconds;
  // Some models take longer to program their flash than their package says.
  if (request.waitForRestart) {
    seconds += models::QuirksOf(request.openModel).extraProgrammingSeconds;
  }
  const bool notify = context_.showCountdown && !context_.silent;
  Progress(DownloadObserver::Stage::kCountdown);
  for (uint32_t left = seconds + 1; left-- > 0;) {
    if (notify) Notify(DownloadObserver::kCountdown, left);
    if (context_.notifyWindow != nullptr) context_.notifyWindow->OnCountdownSecond(left);
    clock.Sleep(kSecondMs);
  }
  if (notify) Notify(DownloadObserver::kCountdown, DownloadObserver::kCountdownDone);
}

}  // namespace kiln::protocol
