#include "app/silent_update_mode.h"

#include "app/mode_configuration.h"
#include "app/printer_queries.h"
#include "app/version_text.h"
#include "protocol/download_observer.h"
#include "protocol/firmware_download.h"

namespace kiln::app {

namespace {

// The CPU step is already done on a model-6 printer at this version or later.
constexpr uint32_t kCpuSkipModel = 6;
constexpr double kCpuSkipVersion = 1.07;
constexpr std::size_t kComparedCharacters = 4;
constexpr uint8_t kCpuWriteType = 2;

// The download's notifications in this mode: progress lines only, never a box.
class ProgressObserver final : public DownloadObserver {
 public:
  explicit ProgressObserver(UpdateProgress& progress) : progress_(progress) {}

  void OnDownloadNotification(uint32_t kind, uint32_t value) override {
    if (kind != kPrinterError) return;
    FixedText<64> text;
    text.Format("the printer reports error 0x%08X", value);
    progress_.Phase(UpdatePhase::kReconnection, text);
  }
  void OnDownloadStage(Stage stage) override {
    if (stage == Stage::kCountdown) {
      progress_.Phase(UpdatePhase::kCountdown, "the printer programs its flash");
    } else if (stage == Stage::kReconnecting) {
      progress_.Phase(UpdatePhase::kReconnection, "waiting for the printer to come back");
    }
  }
  void OnDataSent(uint32_t sent, uint32_t total) override { progress_.DataSent(sent, total); }
  void OnCountdownSecond(uint32_t left) override { progress_.CountdownSecond(left); }
  void OnWarning(const char* text) override { progress_.Warning(text); }

 private:
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
                           UnreachablePrinterProbe unreachablePrinters)
    : session_(session),
      context_(session.context),
      options_(options),
      reports_(reports),
      progress_(progress),
      makeLink_(std::move(makeLink)),
      unreachablePrinters_(std::move(unreachablePrinters)) {}

void SilentUpdate::Run(std::string_view programFolder) {
  ProgressObserver observer(progress_);
  context_.silent = true;
  context_.notifyWindow = &observer;
  uint32_t outcome = report::kNothingAttempted;
  uint32_t compared = 0;

  if (ReadyToCompare(programFolder) && ReadDeviceVersion()) {
    const bool older = DeviceOlderThanPackage(context_.deviceVersion, context_.packageVersion);
    FixedText<96> text;
    text.Format("printer %s, package %s: %s", context_.deviceVersion.c_str(),
                context_.packageVersion.c_str(), older ? "update" : "nothing to write");
    progress_.Phase(UpdatePhase::kVersionCompare, text);
    outcome = older ? Update() : report::kAlreadyCurrent;
    compared = 1;
  }

  context_.notifyWindow = nullptr;
  FixedText<96> text;
  text.Format("%s (100 = %u, 110 = %u)", DescribeOutcome(outcome), compared, outcome);
  progress_.Phase(UpdatePhase::kResult, text);
  reports_.Report(report::kCompared, compared);
  reports_.Report(report::kOutcome, outcome);
}

bool SilentUpdate::ReadyToCompare(std::string_view programFolder) {
  const ConfigurationState state = ReadModeConfiguration(session_, programFolder);
  if (state != ConfigurationState::kReady) {
    progress_.Phase(UpdatePhase::kConfiguration, DescribeConfigurationState(state));
    return false;
  }
  FixedText<600> text;
  text.Format("package %s, version %s, for model %u", context_.firmwarePath.c_str(),
              context_.packageVersion.c_str(), context_.targetModel);
  progress_.Phase(UpdatePhase::kConfiguration, text);
  if (options_.model != context_.targetModel) {
    text.Format("the caller expects model %u (option M)", options_.model);
    progress_.Phase(UpdatePhase::kConfiguration, text);
    return false;
  }

  PrinterQueries queries(context_, nullptr, makeLink_);
  if (!queries.ProbeConnection(context_.targetModel)) {
    progress_.Phase(UpdatePhase::kConnection, "no printer of the model answers");
    if (SeenButUnreachable(unreachablePrinters_, context_.targetModel)) {
      progress_.Warning(kUnreachablePrinterHint);
    }
    return false;
  }
  text.Format("the printer answers as model %u", context_.connectedModel);
  progress_.Phase(UpdatePhase::kConnection, text);
  return true;
}

bool SilentUpdate::ReadDeviceVersion() {
  // A printer whose version cannot be read (no answer, or an empty text shown as "N/A")
  // is not compared: "N/A" would compare as newer than any package and an empty text as
  // older, both without knowing the printer's version.
  PrinterQueries queries(context_, nullptr, makeLink_);
  if (!queries.QueryDeviceVersion()) {
    progress_.Phase(UpdatePhase::kVersionCompare, "the printer's version cannot be read");
    return false;
  }
  const VersionText revision = context_.deviceVersion;
  context_.deviceVersion = revision.view().substr(0, kComparedCharacters);
  return true;
}

bool SilentUpdate::SkipCpuStep() const {
  return context_.targetModel == kCpuSkipModel &&
         VersionAsDecimal(context_.deviceVersion) >= kCpuSkipVersion;
}

bool SilentUpdate::Flash(UpdatePhase phase, const PathText& image, uint8_t writeType,
                         uint32_t waitSeconds, bool waitForRestart) {
  FixedText<600> text;
  text.Format("sending %s", image.c_str());
  progress_.Phase(phase, text);
  protocol::FlashRequest request;
  request.openModel = context_.targetModel;
  request.reopenModel = context_.targetModel;
  request.imagePath = image.c_str();
  request.writeType = writeType;
  request.waitSeconds = static_cast<uint16_t>(waitSeconds);
  request.waitForRestart = waitForRestart;
  if (protocol::FirmwareDownload(context_, makeLink_).FlashFirmware(request)) return true;
  if (!context_.resultText.empty()) progress_.Phase(phase, context_.resultText);
  return false;
}

uint32_t SilentUpdate::Update() {
  reports_.Report(report::kDownloadStarts, 0);
  if (context_.cpuFirst) {
    if (SkipCpuStep()) {
      progress_.Phase(UpdatePhase::kCpuStep, "skipped: the printer has the CPU code already");
    } else if (!Flash(UpdatePhase::kCpuStep, context_.cpuFirmwarePath, kCpuWriteType,
                      context_.cpuDelay + context_.cpuExtraDelay, false)) {
      return report::kUpdateFailed;
    }
  }
  // The main download follows the CPU step at once.
  const bool written = Flash(UpdatePhase::kDownload, context_.firmwarePath, context_.writeType,
                             context_.firmwareDelay + context_.extraDelay, true);
  return written ? report::kUpdateWritten : report::kUpdateFailed;
}

}  // namespace kiln::app
