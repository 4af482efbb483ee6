#include "protocol/firmware_download.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "protocol/download_observer.h"
#include "protocol/download_session.h"
#include "protocol/image_patching.h"
#include "protocol/patched_image.h"
#include "protocol/printer_outcome.h"
#include "protocol/printer_update.h"

namespace kiln::protocol {

namespace {

constexpr uint32_t kSecondMs = 1000;

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

// The printers of one download, in the order they were found.
using Printers = std::vector<PrinterUpdate>;

// After a stop, the printers from first on are not sent to: they stay not-sent, the
// download has not succeeded, and the failure text says so.
void LeaveUnsent(Printers& printers, std::size_t first, FixedText<512>& failures) {
  const auto count = static_cast<uint32_t>(printers.size());
  const auto from = static_cast<uint32_t>(first + 1);
  FixedText<128> sentence;
  sentence.Format(from == count ? "A stop was requested: printer %u was not sent the firmware."
                                : "A stop was requested: printers %u to %u were not sent the "
                                  "firmware.",
                  from, count);
  if (!failures.empty()) failures.Append(" ");
  failures.Append(sentence.view());
  for (std::size_t i = first; i < printers.size(); ++i) printers[i].LeaveUnsent();
}

// Sends the image (or the three files) to every printer, each with its own device data
// block laid in. Each printer's queues are held before its firmware goes out. Once a stop
// was asked for, no further printer's transfer starts. Returns false when a code or table
// file could not be read: then nothing more is sent.
bool SendToEveryPrinter(DownloadSession& session, const FlashRequest& request,
                        const PatchedImage& image, Printers& printers, QueueHolds& queueHolds,
                        DownloadObserver* observer, FixedText<512>& failures) {
  for (std::size_t i = 0; i < printers.size(); ++i) {
    PrinterUpdate& printer = printers[i];
    if (session.stop().Requested()) {
      LeaveUnsent(printers, i, failures);
      break;
    }
    if (!printer.Probe(session, request, failures)) continue;
    // The stop may have come while the printer was looked for.
    if (session.stop().Requested()) {
      LeaveUnsent(printers, i, failures);
      break;
    }
    queueHolds.Hold(session.link().devicePath());
    printer.KeepBlock(session, request, image.size());
    if (printer.Write(session, request, image, observer, failures) ==
        TransferOutcome::kFileUnreadable) {
      return false;
    }
  }
  session.link().CloseIOChannel();
  return true;
}

// A checksum error read from printer 1 right after the download (0 for none): it rejected
// the image.
uint32_t ChecksumErrorOfFirst(DownloadSession& session, const FlashRequest& request,
                              const PrinterUpdate& first) {
  session.clock().Sleep(kSecondMs);
  if (session.link().OpenIOChannelTo(request.reopenModel, first.identity()) != usb::kOpenOk) {
    return 0;
  }
  uint32_t deviceError = 0;
  // Only the checksum codes matter here; the full check follows the count-down.
  (void)session.CheckStatus(false, deviceError);
  session.link().CloseIOChannel();
  return IsChecksumError(deviceError) ? deviceError : 0;
}

// One notification per second of the programming time (plus the open model's extra
// programming time where the facts have one), then the end mark; the count-down
// notifications only when they are shown.
void CountDown(platform::Clock& clock, const FlashRequest& request, const Notifier& notifier) {
  const uint32_t seconds = request.waitSeconds + request.facts.extraProgrammingSeconds;
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

// Finds each printer that was sent the firmware again and checks it. Printers not sent
// to, and one that already has its printer error (the checksum error read right after
// the download), are not looked at.
void ConfirmEveryPrinter(DownloadSession& session, const FlashRequest& request, Printers& printers,
                         FixedText<512>& failures,
                         const std::function<void(uint32_t)>& reportError) {
  for (PrinterUpdate& printer : printers) {
    const PrinterOutcome& outcome = printer.outcome();
    if (outcome.result == PrinterResult::kNotSent || outcome.result == PrinterResult::kCurrent ||
        outcome.printerError != 0) {
      continue;
    }
    if (printer.Attach(session, request, failures)) {
      (void)printer.Reload(session, request, failures, reportError);
    }
  }
}

// The download's result: what became of each printer; it succeeded when every printer
// that needed the firmware took it and failed nothing afterwards, and one at least did.
FlashResult Finish(Printers& printers, FixedText<512>& failures) {
  FlashResult result;
  result.text = failures;
  result.printers.reserve(printers.size());
  bool all = true;
  bool any = false;
  for (PrinterUpdate& printer : printers) {
    const PrinterResult took = printer.outcome().result;
    const bool written = took == PrinterResult::kSent || took == PrinterResult::kUpdated;
    any = any || written;
    all = all && (written || !printer.Needed());
    result.printers.push_back(std::move(printer.outcome()));
  }
  result.flashed = all && any;
  return result;
}

// Finish for a download that ended before its end: it has not succeeded.
FlashResult Abandon(Printers& printers, FixedText<512>& failures) {
  FlashResult result = Finish(printers, failures);
  result.flashed = false;
  return result;
}

}  // namespace

FirmwareDownload::FirmwareDownload(usb::LinkFactory makeLink, QueueHolder holdQueues,
                                   StopRequest stopRequested)
    : makeLink_(std::move(makeLink)),
      holdQueues_(std::move(holdQueues)),
      stopRequested_(std::move(stopRequested)) {}

FlashResult FirmwareDownload::FlashFirmware(const FlashRequest& request,
                                            DownloadObserver* observer) const {
  const Notifier notifier(observer);
  FixedText<512> failures;
  Printers printers;
  if (!request.image.readable()) {
    failures = "Open Firmware File Error!!";
    return Abandon(printers, failures);
  }
  // The image as loaded, with the colour table laid over it: every printer is sent these
  // bytes, with its own device data block on top.
  PatchedImage image(request.image.data(), request.image.size());
  if (request.colourTable.named() && !LayTableFile(request.colourTable, request.image.path, image,
                                                   request.facts.singleBlockTable, failures)) {
    return Abandon(printers, failures);
  }

  StopWatch stop(stopRequested_, observer);
  DownloadSession session(makeLink_, request.largeModel, stop);
  // Each printer is followed by where it is plugged in: it leaves USB and comes back under
  // a new node when it restarts, while the others are still being sent to.
  const std::vector<std::string> identities = session.link().PrinterIdentities(request.openModel);
  for (std::size_t i = 0; i < identities.size(); ++i) {
    printers.emplace_back(static_cast<uint32_t>(i + 1), identities[i]);
  }
  if (printers.empty()) {
    // Nothing would be written: do not count down or report success.
    failures = "No printer of the model is connected.";
    return Abandon(printers, failures);
  }

  // Declared after the session: the queues are resumed before its link closes.
  QueueHolds queueHolds(holdQueues_, request.driverName, observer, session.link().log());
  notifier.Progress(DownloadObserver::Stage::kSending);
  if (!SendToEveryPrinter(session, request, image, printers, queueHolds, observer, failures)) {
    return Abandon(printers, failures);
  }
  // No printer received the firmware: nothing to wait for.
  if (std::none_of(printers.begin(), printers.end(),
                   [](const PrinterUpdate& printer) { return printer.Sent(); })) {
    return Abandon(printers, failures);
  }
  if (request.waitForRestart && request.noWaitBurnOk) return Finish(printers, failures);

  // A checksum error right after the download means printer 1 rejected the image. Alone,
  // the update ends here. With other printers sent the image, they are programming their
  // flash now: the update fails only after the count-down, the error is shown then, and
  // each of the others is checked as usual.
  // The first printer sent the image is the one looked at; those before it were not sent it.
  const auto firstSent = std::find_if(printers.begin(), printers.end(),
                                      [](const PrinterUpdate& p) { return p.Sent(); });
  const uint32_t checksumError = ChecksumErrorOfFirst(session, request, *firstSent);
  if (checksumError != 0) {
    PrinterOutcome& first = firstSent->outcome();
    const bool othersProgramming =
        std::any_of(firstSent + 1, printers.end(), [](const PrinterUpdate& p) { return p.Sent(); });
    NoteFailure(failures, first, "Printer %u reported checksum error 0x%08X after the download.",
                firstSent->instance(), checksumError);
    first.printerError = checksumError;
    if (!othersProgramming) {
      notifier.Notify(DownloadObserver::kPrinterError, checksumError);
      return Abandon(printers, failures);
    }
  }

  CountDown(session.clock(), request, notifier);
  if (checksumError != 0) notifier.Notify(DownloadObserver::kPrinterError, checksumError);
  if (request.noWaitBurnOk) return Finish(printers, failures);

  notifier.Progress(DownloadObserver::Stage::kReconnecting);
  ConfirmEveryPrinter(session, request, printers, failures, [&notifier](uint32_t code) {
    notifier.Notify(DownloadObserver::kPrinterError, code);
  });
  return Finish(printers, failures);
}

}  // namespace kiln::protocol
