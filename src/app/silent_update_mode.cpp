#include "app/silent_update_mode.h"

#include <algorithm>
#include <memory>

#include "app/mode_configuration.h"
#include "app/plan_executor.h"
#include "app/printer_compare.h"
#include "app/printer_queries.h"
#include "app/update_plan.h"
#include "app/version_text.h"
#include "models/model_table.h"
#include "protocol/download_observer.h"
#include "protocol/firmware_download.h"
#include "protocol/printer_survey.h"

namespace kiln::app {

namespace {

using protocol::PrinterOutcome;
using protocol::PrinterResult;

bool StopCame(const StopRequest& stopRequested) {
  return stopRequested && stopRequested() != 0;
}

// The download's notifications in this mode: progress lines only, never a box. A stop
// signal that arrives while a printer is being updated is said once, on the next line
// of progress: the update of the printer ends first.
class ProgressObserver final : public DownloadObserver {
 public:
  ProgressObserver(UpdateProgress& progress, const StopRequest& stopRequested)
      : progress_(progress), stopRequested_(stopRequested) {}

  void OnDownloadNotification(uint32_t kind, uint32_t value) override {
    SayStopDeferred();
    if (kind != kPrinterError) return;
    FixedText<64> text;
    text.Format("the printer reports error 0x%08X", value);
    progress_.Phase(UpdatePhase::kReconnection, text);
  }
  void OnDownloadStage(Stage stage) override {
    SayStopDeferred();
    if (stage == Stage::kCountdown) {
      progress_.Phase(UpdatePhase::kCountdown, "the printer programs its flash");
    } else if (stage == Stage::kReconnecting) {
      progress_.Phase(UpdatePhase::kReconnection, "waiting for the printer to come back");
    }
  }
  void OnDataSent(uint32_t sent, uint32_t total) override {
    SayStopDeferred();
    progress_.DataSent(sent, total);
  }
  void OnCountdownSecond(uint32_t left) override {
    SayStopDeferred();
    progress_.CountdownSecond(left);
  }
  void OnWarning(const char* text) override { progress_.Warning(text); }
  // The download saw the stop before a printer's transfer or while it reconnects them.
  void OnStopNoticed() override { SayStopDeferred(); }

 private:
  void SayStopDeferred() {
    if (stopSaid_ || !StopCame(stopRequested_)) return;
    stopSaid_ = true;
    progress_.Warning(kStopDeferredText);
  }

  UpdateProgress& progress_;
  const StopRequest& stopRequested_;
  bool stopSaid_ = false;
};

// The plan's course as progress lines: what each step sends, and why one failed.
class StepProgress final : public PlanEvents {
 public:
  explicit StepProgress(UpdateProgress& progress) : progress_(progress) {}

  void OnStepStarts(const PlanStep& step) override {
    FixedText<600> text;
    text.Format("sending %s", step.flash.image.path.c_str());
    progress_.Phase(PhaseOf(step), text);
  }
  void OnStepEnded(const PlanStep& step, const protocol::FlashResult& result) override {
    if (!result.flashed && !result.text.empty()) progress_.Phase(PhaseOf(step), result.text);
  }
  void OnStopped() override { progress_.Phase(UpdatePhase::kResult, "stopped by a signal"); }
  void OnHistoryNotWritten(const std::string& reason) override {
    progress_.Warning("the update history could not be written (" + reason +
                      "); the update's result is unchanged");
  }

 private:
  static UpdatePhase PhaseOf(const PlanStep& step) {
    return step.kind == StepKind::kFirmware ? UpdatePhase::kDownload : UpdatePhase::kCpuStep;
  }

  UpdateProgress& progress_;
};

const char* DescribeOutcome(uint32_t outcome) {
  switch (outcome) {
    case report::kAlreadyCurrent:
      return "the printer already has this version or a newer one";
    case report::kUpdateWritten:
      return "update written";
    case report::kUpdateFailed:
      return "update failed";
    default:
      return "nothing attempted";
  }
}

}  // namespace

SilentUpdate::SilentUpdate(AppSession& session, const CommandLineOptions& options,
                           ReportSink& reports, UpdateProgress& progress, usb::LinkFactory makeLink,
                           UnreachablePrinterProbe unreachablePrinters, StopRequest stopRequested)
    : session_(session),
      options_(options),
      reports_(reports),
      progress_(progress),
      makeLink_(std::move(makeLink)),
      unreachablePrinters_(std::move(unreachablePrinters)),
      stopRequested_(std::move(stopRequested)) {}

bool SilentUpdate::Stopped() {
  if (!StopCame(stopRequested_)) return false;
  progress_.Phase(UpdatePhase::kResult, "stopped by a signal");
  return true;
}

void SilentUpdate::Report(uint32_t wParam, uint32_t lParam) {
  record_.reports.emplace_back(wParam, lParam);
  if (!reports_.Report(wParam, lParam)) record_.undelivered.push_back(record_.reports.size() - 1);
}

void SilentUpdate::Run(std::string_view programFolder) {
  record_ = ModeRecord{};
  record_.mode = "silent-update";
  warned_.clear();
  ProgressObserver observer(progress_, stopRequested_);
  observer_ = &observer;
  uint32_t outcome = report::kNothingAttempted;
  uint32_t compared = 0;

  // A stop before the update ends the run at the next step, as a failure; one that comes
  // during it lets the printer's update end first (Update).
  if (!Stopped() && ReadyToCompare(programFolder) && !Stopped()) {
    const bool firstRead = ReadDeviceVersion();
    const bool older =
        firstRead && DeviceOlderThanPackage(printer_.deviceVersion, read_.package.version);
    if (firstRead) {
      FixedText<96> text;
      text.Format("printer %s, package %s: %s", printer_.deviceVersion.c_str(),
                  read_.package.version.c_str(), older ? "update" : "nothing to write");
      progress_.Phase(UpdatePhase::kVersionCompare, text);
    }
    // Every printer of the model is compared: one already at the package's version, or
    // one whose version cannot be read, does not keep another, older one from its update.
    const Compared others = SurveyPrinters(older);
    if ((firstRead || others != Compared::kNothing) && !Stopped()) {
      outcome = others == Compared::kUpdate ? Update() : report::kAlreadyCurrent;
      compared = 1;
    } else if (StopCame(stopRequested_)) {
      outcome = report::kUpdateFailed;
    }
  } else if (StopCame(stopRequested_)) {
    outcome = report::kUpdateFailed;
  }

  observer_ = nullptr;
  record_.result = DescribeOutcome(outcome);
  FixedText<96> text;
  text.Format("%s (100 = %u, 110 = %u)", DescribeOutcome(outcome), compared, outcome);
  progress_.Phase(UpdatePhase::kResult, text);
  Report(report::kCompared, compared);
  Report(report::kOutcome, outcome);
}

SilentUpdate::Compared SilentUpdate::SurveyPrinters(bool older) {
  PrinterCompare compare = CompareEveryPrinter(makeLink_, printer_, read_.package.version,
                                               UpdateMode::kSilent, false, surveyEveryPrinter_);
  bool anyRead = false;
  for (const PrinterOutcome& printer : compare.printers) {
    anyRead = anyRead || !printer.versionBefore.empty();
    if (printer.versionBefore.empty() && !printer.text.empty()) Warn(printer);
    if (older || printer.result == PrinterResult::kCurrent || printer.versionBefore.empty()) {
      continue;
    }
    FixedText<160> text;
    text.Format("printer at %s is at %s: update", printer.location.c_str(),
                printer.versionBefore.c_str());
    progress_.Phase(UpdatePhase::kVersionCompare, text);
  }
  if (!compare.printers.empty()) record_.printers = std::move(compare.printers);
  if (compare.anyNeeds) return Compared::kUpdate;
  return anyRead ? Compared::kCurrent : Compared::kNothing;
}

void SilentUpdate::Warn(const PrinterOutcome& printer) {
  if (std::find(warned_.begin(), warned_.end(), printer.location) != warned_.end()) return;
  warned_.push_back(printer.location);
  progress_.Warning(printer.text);
}

bool SilentUpdate::ReadyToCompare(std::string_view programFolder) {
  read_ = ReadModeConfiguration(session_, programFolder);
  const ConfigurationState state = read_.state;
  if (state != ConfigurationState::kReady) {
    progress_.Phase(UpdatePhase::kConfiguration, DescribeConfiguration(read_));
    return false;
  }
  record_.package = PackageRecord(read_.package);
  // The large models' packets from the first query on.
  printer_.largeModel = models::IsLargeModel(read_.package.targetModel);
  FixedText<600> text;
  text.Format("package %s, version %s, for model %u", read_.entry.firmware.c_str(),
              read_.package.version.c_str(), read_.package.targetModel);
  progress_.Phase(UpdatePhase::kConfiguration, text);
  if (options_.model != read_.package.targetModel) {
    text.Format("the caller expects model %u (option M)", options_.model);
    progress_.Phase(UpdatePhase::kConfiguration, text);
    return false;
  }

  PrinterQueries queries(printer_, nullptr, makeLink_);
  const bool answered = queries.ProbeConnection(read_.package.targetModel);
  // Each printer that cannot be opened is named with its reason; the others go on.
  for (const PrinterOutcome& printer : queries.unopened()) {
    Warn(printer);
    record_.printers.push_back(printer);
  }
  if (!answered) {
    progress_.Phase(UpdatePhase::kConnection, "no printer of the model answers");
    if (SeenButUnreachable(unreachablePrinters_, read_.package.targetModel)) {
      progress_.Warning(i18n::LoadStringResource(kUnreachablePrinterHint.resource));
    }
    return false;
  }
  // Only a printer that answered a question is said to answer.
  text.Format(queries.versionAnswered() ? "the printer answers as model %u%s%s"
                                        : "the printer opens as model %u%s%s but does not answer",
              printer_.connectedModel, queries.transport().empty() ? "" : " ",
              queries.transport().c_str());
  progress_.Phase(UpdatePhase::kConnection, text);
  return true;
}

bool SilentUpdate::ReadDeviceVersion() {
  // A printer whose version cannot be read (no answer, or an empty text shown as "N/A")
  // is not compared: "N/A" would compare as newer than any package and an empty text as
  // older, both without knowing the printer's version.
  PrinterQueries queries(printer_, nullptr, makeLink_);
  if (!queries.QueryDeviceVersion()) {
    // Taken meanwhile (another Kiln, say): its reason rather than an unreadable version.
    progress_.Phase(UpdatePhase::kVersionCompare,
                    queries.refusal().empty()
                        ? std::string("the printer's version cannot be read")
                        : "the printer's version cannot be read: " + queries.refusal());
    return false;
  }
  const VersionText revision = printer_.deviceVersion;
  if (!config::IsFirmwareVersion(revision)) {
    // A text that states no version would compare as older or newer than any package.
    progress_.Phase(UpdatePhase::kVersionCompare, "the printer's version cannot be read");
    return false;
  }
  printer_.deviceVersion = config::ComparedPart(revision);
  return true;
}

uint32_t SilentUpdate::Update() {
  Report(report::kDownloadStarts, 0);
  const PrinterAnswer printer{printer_.connectedModel, true, printer_.deviceVersion.c_str()};
  const UpdatePlan plan = PlanUpdate(read_.entry, read_.package, printer, UpdateMode::kSilent);
  if (plan.cpuStepSkipped) {
    progress_.Phase(UpdatePhase::kCpuStep, "skipped: the printer has the CPU code already");
  }
  PlanServices services;
  services.links = makeLink_;
  services.stopRequested = stopRequested_;
  services.writeHistory = writeHistory_;
  StepProgress events(progress_);
  // The printers a download began for are on disk before the caller learns the result.
  PlanOutcome ran =
      PlanExecutor(std::move(services)).Run({plan, record_, printer_}, events, observer_);
  record_ = std::move(ran.record);
  return ran.firmwareWritten && !ran.stopped ? report::kUpdateWritten : report::kUpdateFailed;
}

}  // namespace kiln::app
