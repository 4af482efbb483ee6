#include "app/update_worker.h"

#include <string>
#include <utility>

#include "config/firmware_package.h"
#include "models/model_table.h"

namespace kiln::app {

namespace {

constexpr uint32_t kSecondMs = 1000;
constexpr int kCpuWaitSeconds = 10;
constexpr int kVersionSettleSeconds = 5;
constexpr uint8_t kWriteTypeCpu = 2;

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

UpdateWorker::UpdateWorker(UpdateContext& context, config::PackageFiles files,
                           const i18n::LanguageFile& texts, const char* languageTag,
                           MainWindowView& view, usb::LinkFactory links, platform::Clock& clock,
                           StatusShow showStatus, HistoryWriter writeHistory)
    : context_(context),
      files_(std::move(files)),
      texts_(texts),
      view_(view),
      links_(std::move(links)),
      clock_(clock),
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
  record_.package = PackageRecord(context_, files_.firmware);

  bool writeNormal = true;
  if (context_.useAltSet) {
    WriteAlternativeSet();
  } else if (context_.cpuFirst) {
    writeNormal = WriteCpuFirmware();
  } else if (context_.printer.connectedModel == models::kFirstLargeModel &&
             context_.targetModel != models::kFirstLargeModel) {
    // The printer answers only as the fall-back model: address it so, and expect it
    // back under the package's model.
    context_.packageModel = context_.targetModel;
    context_.targetModel = models::kFirstLargeModel;
  }

  WorkerOutcome outcome;
  if (writeNormal) {
    outcome.firmwareWritten = WriteNormalFirmware();
    if (outcome.firmwareWritten && !context_.noWaitBurnOk) {
      for (int i = 0; i < kVersionSettleSeconds; ++i) clock_.Sleep(kSecondMs);
      WindowThreadDisplay display(view_);
      PrinterQueries(context_.printer, &display, links_).ReloadDeviceVersion();
    }
  }
  SettleOutcomes(record_, writeNormal);
  WriteHistory();
  outcome.endProgram =
      outcome.firmwareWritten && models::IsLargeModel(context_.printer.connectedModel);
  outcome.lastStatus = lastStatus_;

  view_.RunOnWindowThread([this] {
    view_.PlayAnimation(false);
    view_.EnableStart(true);
    view_.EnableExit(true);
    view_.EnableColourMode(true);
  });
  return outcome;
}

void UpdateWorker::WriteAlternativeSet() {
  ShowTexts(i18n::keys::kWritingFlash1, i18n::keys::kWritingFlash2);
  protocol::FlashRequest request =
      Request(context_.printer.connectedModel, context_.printer.connectedModel, context_.writeType,
              context_.cpuDelay, true);
  request.image = files_.altFirmware;
  request.code = files_.altCode;
  request.table = files_.altTable;
  const auto version = config::PackageVersionOf(files_.altFirmware, context_.writeType);
  if (version) request.expectedVersion = version->view();
  // A failed alternative set is not reported: the normal firmware follows anyway.
  (void)Flash(request);
  context_.packageModel = context_.targetModel;
  context_.targetModel = context_.printer.connectedModel;
}

bool UpdateWorker::WriteCpuFirmware() {
  ShowTexts(i18n::keys::kWritingFlashCpu1, i18n::keys::kWritingFlashCpu2);
  const uint32_t model = context_.targetModel;
  const uint32_t seconds = uint32_t{context_.cpuDelay} + context_.cpuExtraDelay;
  protocol::FlashRequest request = Request(model, model, kWriteTypeCpu, seconds, false);
  request.expectedVersion = context_.cpuPackageVersion.view();
  if (!models::IsLargeModel(model)) {
    request.image = files_.cpuFirmware;
    request.code = files_.code;
    request.table = files_.table;
  } else {
    // A large model takes its CPU step as three files: the CPU code file is the image.
    request.image = files_.cpuCode;
    request.code = files_.cpuFirmware;
    request.table = files_.cpuTable;
  }
  if (!Flash(request)) {
    ShowTexts(i18n::keys::kWriteFlashCpuFail1, i18n::keys::kWriteFlashCpuFail2);
    return false;
  }
  ShowText(i18n::keys::kWriteFlashCpuDone);
  const i18n::LanguageText waiting = texts_.GetText(i18n::keys::kWaitBeforeWriteFlash);
  for (int n = kCpuWaitSeconds; n >= 1; --n) {
    i18n::LanguageText line;
    line.Format("%s%d", waiting.c_str(), n);
    Show(line.c_str());
    clock_.Sleep(kSecondMs);
  }
  return true;
}

bool UpdateWorker::WriteNormalFirmware() {
  ShowTexts(i18n::keys::kWritingFlash1, i18n::keys::kWritingFlash2);
  protocol::FlashRequest request =
      Request(context_.targetModel, context_.packageModel, context_.writeType,
              uint32_t{context_.firmwareDelay} + context_.extraDelay, true);
  request.image = files_.firmware;
  request.code = files_.code;
  request.table = files_.table;
  if (context_.tableSwitch) request.colourTable = files_.colourTable;
  request.expectedVersion = context_.packageVersion.view();
  const bool ok = Flash(request);
  if (ok) {
    ShowText(i18n::keys::kWriteFlashDone);
  } else {
    // What the download found goes under the fail texts: the user sees why.
    ShowTexts(i18n::keys::kWriteFlashFail1, i18n::keys::kWriteFlashFail2, failure_);
  }
  return ok;
}

protocol::FlashRequest UpdateWorker::Request(uint32_t openModel, uint32_t reopenModel,
                                             uint8_t writeType, uint32_t waitSeconds,
                                             bool waitForRestart) {
  protocol::FlashRequest request;
  request.openModel = openModel;
  request.reopenModel = reopenModel;
  request.writeType = writeType;
  request.waitSeconds = waitSeconds;
  request.waitForRestart = waitForRestart;
  // For the update history: each printer's version just before its firmware goes out.
  request.readVersionBefore = true;
  return request;
}

bool UpdateWorker::Flash(protocol::FlashRequest request) {
  request.targetModel = context_.targetModel;
  request.connectedModel = context_.printer.connectedModel;
  request.largeModel = context_.printer.largeModel;
  request.driverName = context_.driverName.c_str();
  request.noWaitBurnOk = context_.noWaitBurnOk;
  request.showCountdown = context_.showCountdown && !context_.silent;
  request.noWaitBusyBeforeWrite = context_.noWaitBusyBeforeWrite;
  const protocol::FlashResult result =
      protocol::FirmwareDownload(links_).FlashFirmware(request, context_.notifyWindow);
  NoteStep(record_, result.flashed, result.printers, result.text.c_str());
  failure_ = result.text.c_str();
  return result.flashed;
}

void UpdateWorker::WriteHistory() {
  if (!writeHistory_) return;
  const std::string error = writeHistory_(record_);
  if (error.empty() || context_.notifyWindow == nullptr) return;
  const std::string warning = "The update history could not be written (" + error + ").";
  context_.notifyWindow->OnWarning(warning.c_str());
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
