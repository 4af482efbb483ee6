#include "app/update_worker.h"

#include <string>
#include <utility>

#include "models/model_table.h"

namespace kiln::app {

namespace {

constexpr uint32_t kSecondMs = 1000;

// The version field is written on the window's thread, as every other control.
class WindowThreadDisplay final : public VersionDisplay {
 public:
  explicit WindowThreadDisplay(MainWindowView& view) : view_(view) {}
  void ShowCurrentVersion(const char* text) override {
    const std::string copy = text;
    view_.RunOnWindowThread([&] { view_.ShowCurrentVersion(copy.c_str()); });
  }
  bool IsInitialised() const override { return true; }

 private:
  MainWindowView& view_;
};

}  // namespace

UpdateWorker::UpdateWorker(WorkerHandover handover, const i18n::LanguageFile& texts,
                           const char* languageTag, MainWindowView& view, usb::LinkFactory links,
                           platform::Clock& clock, DownloadObserver* observer,
                           StatusShow showStatus, HistoryWriter writeHistory)
    : handover_(std::move(handover)),
      texts_(texts),
      view_(view),
      links_(std::move(links)),
      clock_(clock),
      observer_(observer),
      showStatus_(std::move(showStatus)),
      writeHistory_(std::move(writeHistory)) {
  texts_.SetSection(languageTag != nullptr ? languageTag : "");
}

WorkerOutcome UpdateWorker::Run() {
  view_.RunOnWindowThread([this] {
    view_.EnableStart(false);
    view_.EnableExit(false);
    view_.EnableColourMode(false);
    view_.PlayAnimation(true);
  });

  record_.mode = "window-update";
  record_.updateAttempted = true;
  record_.package = handover_.package;

  WorkerOutcome outcome;
  // False when a step before the normal firmware ended the update.
  bool firmwareReached = true;
  for (const PlanStep& step : handover_.plan.steps) {
    // A stop lets the step under way end, with its printers checked; no further one starts.
    if (StopRequested()) {
      firmwareReached = false;
      break;
    }
    const bool ok = RunStep(step);
    if (step.kind == StepKind::kFirmware) outcome.firmwareWritten = ok;
    if (!ok && step.failureEndsUpdate) {
      firmwareReached = step.kind == StepKind::kFirmware;
      break;
    }
    if (ok) CountVisibly(step.visibleWaitSeconds);
  }
  if (outcome.firmwareWritten && handover_.plan.versionRereadAfterSeconds > 0 && !StopRequested()) {
    outcome.deviceVersion = RereadVersion();
  }
  SettleOutcomes(record_, firmwareReached);
  WriteHistory();
  outcome.endProgram =
      outcome.firmwareWritten && models::IsLargeModel(handover_.printer.connectedModel);
  outcome.lastStatus = lastStatus_;

  view_.RunOnWindowThread([this] {
    view_.PlayAnimation(false);
    view_.EnableStart(true);
    view_.EnableExit(true);
    view_.EnableColourMode(true);
  });
  return outcome;
}

bool UpdateWorker::RunStep(const PlanStep& step) {
  switch (step.kind) {
    case StepKind::kAlternativeSet:
      ShowTexts(i18n::keys::kWritingFlash1, i18n::keys::kWritingFlash2);
      // A failed alternative set is not reported: the normal firmware follows anyway.
      return Flash(step.flash);
    case StepKind::kCpuFirmware:
      ShowTexts(i18n::keys::kWritingFlashCpu1, i18n::keys::kWritingFlashCpu2);
      if (!Flash(step.flash)) {
        ShowTexts(i18n::keys::kWriteFlashCpuFail1, i18n::keys::kWriteFlashCpuFail2);
        return false;
      }
      ShowText(i18n::keys::kWriteFlashCpuDone);
      return true;
    case StepKind::kFirmware:
      ShowTexts(i18n::keys::kWritingFlash1, i18n::keys::kWritingFlash2);
      if (!Flash(step.flash)) {
        // What the download found goes under the fail texts: the user sees why.
        ShowTexts(i18n::keys::kWriteFlashFail1, i18n::keys::kWriteFlashFail2, failure_);
        return false;
      }
      ShowText(i18n::keys::kWriteFlashDone);
      return true;
  }
  return false;
}

void UpdateWorker::CountVisibly(int seconds) {
  if (seconds <= 0) return;
  const i18n::LanguageText waiting = texts_.GetText(i18n::keys::kWaitBeforeWriteFlash);
  // The count leads to the next step: a stop ends it, as no step follows.
  for (int n = seconds; n >= 1 && !StopRequested(); --n) {
    FixedText<16> count;
    count.Format("%d", n);
    i18n::LanguageText line = waiting;
    line.Append(count.view());
    Show(line.c_str());
    clock_.Sleep(kSecondMs);
  }
}

std::optional<VersionText> UpdateWorker::RereadVersion() {
  for (int i = 0; i < handover_.plan.versionRereadAfterSeconds; ++i) clock_.Sleep(kSecondMs);
  WindowThreadDisplay display(view_);
  PrinterState printer = handover_.printer;
  PrinterQueries(printer, &display, links_).ReloadDeviceVersion();
  return printer.deviceVersion;
}

bool UpdateWorker::Flash(const protocol::FlashRequest& request) {
  const protocol::FlashResult result =
      protocol::FirmwareDownload(links_, protocol::SystemQueueHolder(), handover_.stopRequested)
          .FlashFirmware(request, observer_);
  NoteStep(record_, result);
  failure_ = result.text.c_str();
  return result.flashed;
}

bool UpdateWorker::StopRequested() const {
  return handover_.stopRequested && handover_.stopRequested() != 0;
}

void UpdateWorker::WriteHistory() {
  // Only the printers a download began for are recorded.
  ModeRecord history = record_;
  history.printers = protocol::PrintersSentTo(record_.printers);
  if (!writeHistory_ || history.printers.empty()) return;
  const std::string error = writeHistory_(history);
  if (error.empty() || observer_ == nullptr) return;
  const std::string warning = "The update history could not be written (" + error + ").";
  observer_->OnWarning(warning.c_str());
}

void UpdateWorker::ShowTexts(const i18n::TextKey& first, const i18n::TextKey& second,
                             std::string_view cause) {
  i18n::LanguageText text = texts_.GetText(first);
  text.Append("\n\n");
  text.Append(texts_.GetText(second));
  if (!cause.empty()) {
    text.Append("\n");
    text.Append(texts_.GetText(i18n::keys::kWriteFlashFailCause));
    text.Append(" ");
    text.Append(cause);
  }
  Show(text.c_str());
}

void UpdateWorker::ShowText(const i18n::TextKey& key) {
  const i18n::LanguageText text = texts_.GetText(key);
  Show(text.c_str());
}

void UpdateWorker::Show(const char* text) {
  lastStatus_ = text;
  view_.RunOnWindowThread([&] {
    if (showStatus_) {
      showStatus_(lastStatus_.c_str());
    } else {
      view_.ShowStatus(lastStatus_.c_str());
    }
  });
}

}  // namespace kiln::app
