#include "app/update_worker.h"

#include <string>
#include <utility>

#include "models/model_table.h"

namespace kiln::app {

UpdateWorker::UpdateWorker(WorkerHandover handover, const WorkerServices& services,
                           WorkerEvents& events)
    : handover_(std::move(handover)),
      texts_(services.texts != nullptr ? *services.texts : i18n::LanguageFile()),
      events_(events),
      versionDisplay_(events) {
  texts_.SetSection(services.languageTag);
  services_.links = services.links;
  services_.clock = services.clock;
  services_.stopRequested = handover_.stopRequested;
  services_.writeHistory = services.writeHistory;
}

UpdatePlan UpdateWorker::Plan() {
  // Asked afresh for every update: a printer that answers as the fall-back model takes the
  // alternative set first when its version can be read now.
  PrinterState& printer = handover_.printer;
  PrinterAnswer answer{printer.connectedModel, false, ""};
  const uint32_t fallBack = models::FallBackModelOf(handover_.package.targetModel);
  if (fallBack != 0 && printer.connectedModel == fallBack) {
    PrinterState asked = printer;
    answer.versionRead = PrinterQueries(asked, nullptr, services_.links).QueryDeviceVersion();
    answer.version = asked.deviceVersion.c_str();
  }
  return PlanUpdate(handover_.entry, handover_.package, answer, UpdateMode::kWindow);
}

WorkerOutcome UpdateWorker::Run() {
  events_.OnUpdateBegins();

  ModeRecord record;
  record.mode = "window-update";
  record.package = PackageRecord(handover_.package);
  const UpdatePlan plan = Plan();
  // The plan holds the files now; they go when the update has ended.
  handover_.package.files = {};
  const PlanOutcome ran =
      PlanExecutor(services_).Run({plan, std::move(record), handover_.printer}, *this, &events_);

  WorkerOutcome outcome;
  outcome.firmwareWritten = ran.firmwareWritten;
  outcome.deviceVersion = ran.deviceVersion;
  outcome.endProgram =
      ran.firmwareWritten && models::IsLargeModel(handover_.printer.connectedModel);
  outcome.lastStatus = lastStatus_;

  // The buttons stay off: they come back with the window's own end of the update.
  events_.OnUpdateWorkEnds();
  return outcome;
}

void UpdateWorker::OnStepStarts(const PlanStep& step) {
  if (step.kind == StepKind::kCpuFirmware) {
    ShowTexts(i18n::keys::kWritingFlashCpu1, i18n::keys::kWritingFlashCpu2);
  } else {
    ShowTexts(i18n::keys::kWritingFlash1, i18n::keys::kWritingFlash2);
  }
}

void UpdateWorker::OnStepEnded(const PlanStep& step, const protocol::FlashResult& result) {
  switch (step.kind) {
    case StepKind::kAlternativeSet:
      // A failed alternative set is not reported: the normal firmware follows anyway.
      return;
    case StepKind::kCpuFirmware:
      if (result.flashed) {
        ShowText(i18n::keys::kWriteFlashCpuDone);
      } else {
        ShowTexts(i18n::keys::kWriteFlashCpuFail1, i18n::keys::kWriteFlashCpuFail2);
      }
      return;
    case StepKind::kFirmware:
      if (result.flashed) {
        ShowText(i18n::keys::kWriteFlashDone);
      } else {
        // What the download found goes under the fail texts: the user sees why.
        ShowTexts(i18n::keys::kWriteFlashFail1, i18n::keys::kWriteFlashFail2, result.text.view());
      }
      return;
  }
}

void UpdateWorker::OnWaitSecond(int left) {
  const i18n::LanguageText waiting = texts_.GetText(i18n::keys::kWaitBeforeWriteFlash);
  FixedText<16> count;
  count.Format("%d", left);
  i18n::LanguageText line = waiting;
  line.Append(count.view());
  Show(line.c_str());
}

void UpdateWorker::OnHistoryNotWritten(const std::string& reason) {
  const std::string warning = "The update history could not be written (" + reason + ").";
  events_.OnWarning(warning.c_str());
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
  events_.OnUpdateStatus(lastStatus_.c_str());
}

}  // namespace kiln::app
