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

// The stop input of one download: a stop is noticed once, by whichever check sees it
// first, and the observer hears of it then.
class StopWatch {
 public:
  StopWatch(const StopRequest& stopRequested, DownloadObserver* observer)
      : stopRequested_(stopRequested), observer_(observer) {}
  bool Requested() {
    if (!noticed_ && stopRequested_ && stopRequested_() != 0) {
      noticed_ = true;
      if (observer_ != nullptr) observer_->OnStopNoticed();
    }
    return noticed_;
  }

 private:
  const StopRequest& stopRequested_;
  DownloadObserver* observer_;
  bool noticed_ = false;
};

// The link and protocol object of one download; whatever path the download leaves by,
// pending I/O is cancelled and the channel closed.
class DownloadSession {
 public:
  DownloadSession(const usb::LinkFactory& makeLink, bool largeModel, StopWatch& stop)
      : link_(makeLink()),
        prn_(std::make_unique<CPrnCmd>(link_.get(), SendModeFor(largeModel))),
        stop_(stop) {}
  ~DownloadSession() {
    link_->CancelPipes();
    link_->Finish();
  }
  DownloadSession(const DownloadSession&) = delete;
  DownloadSession& operator=(const DownloadSession&) = delete;

  usb::CUsbLink& link() { return *link_; }
  CPrnCmd& prn() { return *prn_; }
  platform::Clock& clock() { return link_->clock(); }
  StopWatch& stop() { return stop_; }

  // Opens the channel of the printer with that identity and asks for the status summary,
  // up to 30 times with a second between tries. Returns whether the last open succeeded;
  // answered tells whether the printer answered. A stop is only noticed here: a printer
  // being reconnected is still waited for.
  bool OpenAndProbe(uint32_t model, const std::string& printer, bool& answered) {
    bool opened = false;
    answered = false;
    for (uint32_t attempt = 0; attempt < kOpenTries; ++attempt) {
      (void)stop_.Requested();
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
  StopWatch& stop_;
};

// Each failed printer adds a sentence to the result's text, as far as it fits, and to its
// own outcome's text.
template <typename... Args>
void NoteFailure(FlashResult& result, PrinterOutcome& printer, const char* format, Args... args) {
  FixedText<256> sentence;
  sentence.Format(format, args...);
  if (!result.text.empty()) result.text.Append(" ");
  result.text.Append(sentence.view());
  printer.result = PrinterResult::kFailed;
  if (!printer.text.empty()) printer.text += ' ';
  printer.text.append(sentence.view());
}

// Tells the user through the debug trace and the observer; the update goes on.
void Warn(DownloadObserver* observer, log::DebugLog& trace, const std::string& text) {
  trace.LogPrint(1, "Warning: %s\n", text.c_str());
  if (observer != nullptr) observer->OnWarning(text.c_str());
}

// The print queues held for the printers of this update. Whichever way the download
// ends, they are resumed when this goes out of scope; a queue that stays paused is
// reported like one that could not be paused.
class QueueHolds {
 public:
  QueueHolds(const QueueHolder& holder, std::string driverName, DownloadObserver* observer,
             log::DebugLog& trace)
      : holder_(holder), driverName_(std::move(driverName)), observer_(observer), trace_(trace) {}
  ~QueueHolds() {
    for (const auto& held : holds_) {
      if (!held->Release()) {
        Warn(observer_, trace_,
             "A print queue paused for the update could not be resumed: resume it in the "
             "printer settings.");
      }
    }
  }
  QueueHolds(const QueueHolds&) = delete;
  QueueHolds& operator=(const QueueHolds&) = delete;

  void Hold(const char* node) {
    if (!holder_) return;
    std::unique_ptr<HeldQueues> held = holder_({"", node, driverName_});
    if (held == nullptr) return;
    const std::string warning = held->Warning();
    if (!warning.empty()) Warn(observer_, trace_, warning);
    holds_.push_back(std::move(held));
  }

 private:
  const QueueHolder& holder_;
  std::string driverName_;
  DownloadObserver* observer_;
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

// After a stop, printer first and those after it are not sent to: they stay not-sent,
// count as failures (the download has not succeeded) and the result's text says so.
void LeaveUnsent(FlashResult& result, uint32_t first, uint32_t& failures) {
  const auto count = static_cast<uint32_t>(result.printers.size());
  FixedText<128> sentence;
  sentence.Format(first == count ? "A stop was requested: printer %u was not sent the firmware."
                                 : "A stop was requested: printers %u to %u were not sent the "
                                   "firmware.",
                  first, count);
  if (!result.text.empty()) result.text.Append(" ");
  result.text.Append(sentence.view());
  for (uint32_t instance = first; instance <= count; ++instance) {
    PrinterOutcome& outcome = result.printers[instance - 1];
    outcome.result = PrinterResult::kNotSent;
    outcome.text = "A stop was requested before its firmware was sent.";
    ++failures;
  }
}

// Sends the image (or the three files) to every printer found when the update began
// (printers: their identities; printer n is the n-th of them). A printer whose channel
// does not open, that never answers, or that does not take the whole
// firmware counts as a failure. Each printer's queues are held before its image goes
// out, and the device data block kept for it is noted in keptBlocks; result.printers[n - 1]
// says what printer n is and whether it took the firmware. Once a stop was asked for, no
// further printer's transfer starts (LeaveUnsent). Returns false when a code or table
// file could not be read: then nothing more is sent.
bool SendToEveryPrinter(DownloadSession& session, const FlashRequest& request,
                        DownloadObserver* observer, std::vector<uint8_t>& image,
                        const std::vector<std::string>& printers, QueueHolds& queueHolds,
                        std::vector<std::vector<uint8_t>>& keptBlocks, FlashResult& result,
                        uint32_t& failures) {
  const bool keepBlock =
      request.waitForRestart &&
      (request.largeModel || models::QuirksOf(request.openModel).keepsDeviceBlock);
  // Whether each printer's state is checked after its restart.
  const bool confirmed = !request.noWaitBurnOk;
  const BlockArea blockArea(image, DeviceBlockOffset(request.openModel),
                            DeviceBlockSize(request.openModel));
  for (uint32_t instance = 1; instance <= printers.size(); ++instance) {
    PrinterOutcome& outcome = result.printers[instance - 1];
    if (session.stop().Requested()) {
      LeaveUnsent(result, instance, failures);
      break;
    }
    bool answered = false;
    if (!session.OpenAndProbe(request.openModel, printers[instance - 1], answered)) {
      NoteFailure(result, outcome, "Printer %u could not be opened.", instance);
      ++failures;
      continue;
    }
    outcome = DescribeFoundPrinter(session.link());
    if (!answered) {
      NoteFailure(result, outcome, "Printer %u did not answer.", instance);
      ++failures;
      continue;
    }
    if (request.readVersionBefore) outcome.versionBefore = ReadPrintableRevision(session.prn());
    // The stop may have come while the printer was looked for.
    if (session.stop().Requested()) {
      LeaveUnsent(result, instance, failures);
      break;
    }
    queueHolds.Hold(session.link().devicePath());
    if (keepBlock) {
      blockArea.Restore(image);
      keptBlocks[instance - 1] =
          PreserveDeviceBlock(session.prn(), image, request.openModel, request.connectedModel);
    }
    const auto size = static_cast<uint32_t>(image.size());
    const TransferOutcome transfer =
        request.largeModel
            ? WriteFirmwareFiles(session.prn(), request.noWaitBusyBeforeWrite, observer,
                                 request.code, request.table, image.data(), size)
            : WriteFirmwareImage(session.prn(), image.data(), size, request.writeType, observer);
    if (transfer == TransferOutcome::kFileUnreadable) {
      outcome.result = PrinterResult::kFailed;
      outcome.text = result.text.c_str();
      return false;
    }
    outcome.result = PrinterResult::kSent;
    // A printer that did not take the whole firmware has failed, whatever it reports
    // later; the other printers are still updated.
    if (transfer == TransferOutcome::kRejected) {
      NoteFailure(result, outcome, "Printer %u did not take the firmware.", instance);
      ++failures;
    }
    // One that took it all but did not answer its end may be programming it: it is
    // waited for like the others, and its state after the restart decides. Without that
    // check nothing shows it was updated.
    if (transfer == TransferOutcome::kEndUnanswered && !confirmed) {
      NoteFailure(result, outcome, "Printer %u did not confirm the end of the firmware.", instance);
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
// printer that lost or changed it is named in the result's text.
bool BlockCameBack(DownloadSession& session, const FlashRequest& request, FlashResult& result,
                   PrinterOutcome& outcome, uint32_t instance, const std::vector<uint8_t>& kept) {
  if (kept.empty()) return true;
  const std::vector<uint8_t> now = ReadDeviceBlock(session.prn(), request.connectedModel);
  if (now.empty()) {
    NoteFailure(result, outcome, "Printer %u lost its calibration block during programming.",
                instance);
    return false;
  }
  if (now != kept) {
    NoteFailure(result, outcome, "Printer %u: its calibration block changed during programming.",
                instance);
    return false;
  }
  return true;
}

// Whether the printer now runs the version it was sent (noted as its version after). A
// printer whose revision cannot be read is judged by its state alone; one that reports
// another version (its old one, when it came back without taking the image) has failed,
// and the result's text says which, its bytes outside printable ASCII shown as '?'.
bool RunsExpectedVersion(DownloadSession& session, FlashResult& result, PrinterOutcome& outcome,
                         uint32_t instance, const std::string& expected) {
  if (expected.empty()) return true;
  outcome.versionAfter = ReadPrintableRevision(session.prn());
  if (outcome.versionAfter.empty()) return true;
  if (config::StatesVersion(outcome.versionAfter, expected)) return true;
  NoteFailure(result, outcome, "Printer %u reports version %s after programming, not %s.", instance,
              outcome.versionAfter.c_str(), expected.c_str());
  return false;
}

// Each printer after its restart: answering, no longer busy, without an error, holding
// the device data block it had (keptBlocks) and running the expected version. A printer's error
// code is notified through reportError and kept as its outcome's printerError; a printer that
// does not come back, whose state cannot be read or whose block differs is named in the
// result's text. A printer that took the firmware and passes counts as updated. Printers
// not sent to, and one that already has its printer error (the checksum error read right
// after the download), are not looked at.
uint32_t ConfirmEveryPrinter(DownloadSession& session, const FlashRequest& request,
                             const std::vector<std::string>& printers,
                             const std::vector<std::vector<uint8_t>>& keptBlocks,
                             FlashResult& result,
                             const std::function<void(uint32_t)>& reportError) {
  uint32_t failures = 0;
  for (uint32_t instance = 1; instance <= printers.size(); ++instance) {
    const std::string& printer = printers[instance - 1];
    PrinterOutcome& outcome = result.printers[instance - 1];
    if (outcome.result == PrinterResult::kNotSent || outcome.printerError != 0) continue;
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
      NoteFailure(result, outcome, "Printer %u did not come back after programming.", instance);
      ++failures;
      continue;
    }

    uint32_t error = 0;
    StatusResult state = session.CheckStatus(false, error);
    if (!IsHarmless(error) && !IsChecksumError(error)) {
      // Not a known condition: look again, this time as the check that is shown.
      state = session.CheckStatus(true, error);
    }
    if (StateUnread(session.prn(), state, error)) {
      NoteFailure(result, outcome,
                  "Printer %u: its state could not be read after programming (0x%02X).", instance,
                  error);
      ++failures;
      continue;
    }
    if (IsHarmless(error)) error = 0;
    if (error > kLastTransactionCode) {
      reportError(error);
      outcome.printerError = error;
      NoteFailure(result, outcome, "Printer %u reported error 0x%08X after programming.", instance,
                  error);
      ++failures;
      continue;
    }
    if (!BlockCameBack(session, request, result, outcome, instance, keptBlocks[instance - 1])) {
      session.link().CloseIOChannel();
      ++failures;
      continue;
    }
    if (!RunsExpectedVersion(session, result, outcome, instance, request.expectedVersion)) {
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

// The notifications of one download, to its observer when it has one.
class Notifier {
 public:
  explicit Notifier(DownloadObserver* observer) : observer_(observer) {}
  void Notify(uint32_t kind, uint32_t value) const {
    if (observer_ != nullptr) observer_->OnDownloadNotification(kind, value);
  }
  void Progress(DownloadObserver::Stage stage) const {
    if (observer_ != nullptr) observer_->OnDownloadStage(stage);
  }
  void Second(uint32_t left) const {
    if (observer_ != nullptr) observer_->OnCountdownSecond(left);
  }

 private:
  DownloadObserver* observer_;
};

// One notification per second of the programming time (plus the open model's extra
// programming time when waiting for the restart), then the end mark; the count-down
// notifications only when they are shown.
void CountDown(platform::Clock& clock, const FlashRequest& request, const Notifier& notifier) {
  uint32_t seconds = request.waitSeconds;
  // Some models take longer to program their flash than their package says.
  if (request.waitForRestart) {
    seconds += models::QuirksOf(request.openModel).extraProgrammingSeconds;
  }
  notifier.Progress(DownloadObserver::Stage::kCountdown);
  for (uint32_t left = seconds + 1; left-- > 0;) {
    if (request.showCountdown) notifier.Notify(DownloadObserver::kCountdown, left);
    notifier.Second(left);
    clock.Sleep(kSecondMs);
  }
  if (request.showCountdown) {
    notifier.Notify(DownloadObserver::kCountdown, DownloadObserver::kCountdownDone);
  }
}

}  // namespace

FirmwareDownload::FirmwareDownload(usb::LinkFactory makeLink, QueueHolder holdQueues,
                                   StopRequest stopRequested)
    : makeLink_(std::move(makeLink)),
      holdQueues_(std::move(holdQueues)),
      stopRequested_(std::move(stopRequested)) {}

FlashResult FirmwareDownload::FlashFirmware(const FlashRequest& request,
                                            DownloadObserver* observer) const {
  FlashResult result;
  const Notifier notifier(observer);
  if (!request.image.readable()) {
    result.text = "Open Firmware File Error!!";
    return result;
  }
  // A copy: each printer's device data block and the colour table are patched into it.
  std::vector<uint8_t> image(*request.image.bytes);
  if (request.colourTable.named() && !MergeTableFile(request.colourTable, request.image.path, image,
                                                     request.targetModel, result.text)) {
    return result;
  }

  StopWatch stop(stopRequested_, observer);
  DownloadSession session(makeLink_, request.largeModel, stop);
  // Each printer is followed by where it is plugged in: it leaves USB and comes back under
  // a new node when it restarts, while the others are still being sent to.
  const std::vector<std::string> printers = session.link().PrinterIdentities(request.openModel);
  const auto count = static_cast<uint32_t>(printers.size());
  result.printers.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    result.printers[i].location = printers[i];
    result.printers[i].result = PrinterResult::kNotSent;
  }
  if (count == 0) {
    // Nothing would be written: do not count down or report success.
    result.text = "No printer of the model is connected.";
    return result;
  }

  // Declared after the session: the queues are resumed before its link closes.
  QueueHolds queueHolds(holdQueues_, request.driverName, observer, session.link().log());
  std::vector<std::vector<uint8_t>> keptBlocks(count);
  uint32_t failures = 0;
  notifier.Progress(DownloadObserver::Stage::kSending);
  if (!SendToEveryPrinter(session, request, observer, image, printers, queueHolds, keptBlocks,
                          result, failures)) {
    return result;
  }
  std::vector<uint8_t>().swap(image);
  // No printer received the firmware: nothing to wait for.
  if (failures >= count) return result;
  if (request.waitForRestart && request.noWaitBurnOk) {
    result.flashed = failures == 0;
    return result;
  }

  // A checksum error right after the download means printer 1 rejected the image. Alone,
  // the update ends here. With other printers sent the image, they are programming their
  // flash now: the update fails only after the count-down, the error is shown then, and
  // each of the others is checked as usual.
  session.clock().Sleep(kSecondMs);
  uint32_t checksumError = 0;
  if (session.link().OpenIOChannelTo(request.reopenModel, printers.front()) == usb::kOpenOk) {
    uint32_t deviceError = 0;
    // Only the checksum codes matter here; the full check follows the count-down.
    (void)session.CheckStatus(false, deviceError);
    session.link().CloseIOChannel();
    if (IsChecksumError(deviceError)) checksumError = deviceError;
  }
  if (checksumError != 0) {
    PrinterOutcome& first = result.printers.front();
    const bool othersProgramming = std::any_of(
        result.printers.begin() + 1, result.printers.end(),
        [](const PrinterOutcome& printer) { return printer.result == PrinterResult::kSent; });
    NoteFailure(result, first, "Printer 1 reported checksum error 0x%08X after the download.",
                checksumError);
    first.printerError = checksumError;
    if (!othersProgramming) {
      notifier.Notify(DownloadObserver::kPrinterError, checksumError);
      return result;
    }
    ++failures;
  }

  CountDown(session.clock(), request, notifier);
  if (checksumError != 0) notifier.Notify(DownloadObserver::kPrinterError, checksumError);
  if (request.noWaitBurnOk) {
    result.flashed = failures == 0;
    return result;
  }

  notifier.Progress(DownloadObserver::Stage::kReconnecting);
  failures += ConfirmEveryPrinter(
      session, request, printers, keptBlocks, result,
      [&notifier](uint32_t code) { notifier.Notify(DownloadObserver::kPrinterError, code); });
  result.flashed = failures == 0;
  return result;
}

}  // namespace kiln::protocol
