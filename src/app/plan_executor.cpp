#include "app/plan_executor.h"

#include <utility>

namespace kiln::app {

namespace {

constexpr uint32_t kSecondMs = 1000;

}  // namespace

PlanExecutor::PlanExecutor(PlanServices services) : services_(std::move(services)) {}

bool PlanExecutor::StopRequested() const {
  return services_.stopRequested && services_.stopRequested() != 0;
}

PlanOutcome PlanExecutor::Run(PlanRun run, PlanEvents& events, DownloadObserver* observer) const {
  const protocol::FirmwareDownload download(services_.links, services_.holdQueues,
                                            services_.stopRequested);
  PlanOutcome outcome;
  outcome.record = std::move(run.record);
  outcome.record.updateAttempted = true;
  // False when the update ended before the normal firmware's download ran.
  bool firmwareReached = true;
  for (const PlanStep& step : run.plan.steps) {
    if (StopRequested()) {
      outcome.stopped = true;
      firmwareReached = false;
      events.OnStopped();
      break;
    }
    const bool firmware = step.kind == StepKind::kFirmware;
    events.OnStepStarts(step);
    const protocol::FlashResult result = download.FlashFirmware(step.flash, observer);
    NoteStep(outcome.record, result);
    events.OnStepEnded(step, result);
    if (firmware) outcome.firmwareWritten = result.flashed;
    if (!result.flashed && step.failureEndsUpdate) {
      firmwareReached = firmware;
      break;
    }
    // A stop during the count is seen before the next step.
    if (result.flashed) WaitVisibly(step.visibleWaitSeconds, events);
  }
  if (outcome.firmwareWritten && run.plan.versionRereadAfterSeconds > 0 && !StopRequested()) {
    outcome.deviceVersion = RereadVersion(run, events);
  }
  SettleOutcomes(outcome.record, firmwareReached);
  WriteHistory(outcome.record, events);
  return outcome;
}

void PlanExecutor::WaitVisibly(int seconds, PlanEvents& events) const {
  for (int left = seconds; left >= 1 && !StopRequested(); --left) {
    events.OnWaitSecond(left);
    services_.clock->Sleep(kSecondMs);
  }
}

std::optional<VersionText> PlanExecutor::RereadVersion(const PlanRun& run,
                                                       PlanEvents& events) const {
  for (int i = 0; i < run.plan.versionRereadAfterSeconds; ++i) services_.clock->Sleep(kSecondMs);
  PrinterState printer = run.printer;
  PrinterQueries(printer, events.VersionShownOn(), services_.links).ReloadDeviceVersion();
  return printer.deviceVersion;
}

void PlanExecutor::WriteHistory(const ModeRecord& record, PlanEvents& events) const {
  // Only the printers a download began for are recorded: a stop before the first
  // transfer leaves nothing to write.
  ModeRecord history = record;
  history.printers = protocol::PrintersSentTo(record.printers);
  if (!services_.writeHistory || history.printers.empty()) return;
  const std::string reason = services_.writeHistory(history);
  if (!reason.empty()) events.OnHistoryNotWritten(reason);
}

}  // namespace kiln::app
