#include "app/update_worker.h"

#include <string>
#include <utility>

#include "usb/model_table.h"

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

// Swaps a path of the context for the duration of one download.
class PathSwap {
 public:
  PathSwap(PathText& field, const PathText& replacement) : field_(field), saved_(field) {
    field_ = replacement.view();
  }
  ~PathSwap() { field_ = saved_.view(); }
  PathSwap(const PathSwap&) = delete;
  PathSwap& operator=(const PathSwap&) = delete;

 private:
  PathText& field_;
  PathText saved_;
};

}  // namespace

UpdateWorker::UpdateWorker(UpdateContext& context, const i18n::LanguageFile& texts,
                           const char* languageTag, MainWindowView& view, usb::LinkFactory links,
                           platform::Clock& clock, StatusShow showStatus)
    : context_(context),
      texts_(texts),
      view_(view),
      links_(std::move(links)),
      clock_(clock),
      showStatus_(std::move(showStatus)) {
  texts_.SetSection(languageTag != nullptr ? languageTag : "");
}

WorkerOutcome UpdateWorker::Run() {
  view_.RunOnWindowThread([this] {
    view_.EnableStart(false);
    view_.EnableExit(false);
    view_.EnableColourMode(false);
    view_.PlayAnimation(true);
  });

  bool writeNormal = true;
  if (context_.useAltSet) {
    WriteAlternativeSet();
  } else if (context_.cpuFirst) {
    writeNormal = WriteCpuFirmware();
  } else if (context_.connectedModel == usb::kFirstLargeModel &&
             context_.targetModel != usb::kFirstLargeModel) {
    // The printer answers only as the fall-back model: address it so, and expect it
    // back under the package's model.
    context_.packageModel = context_.targetModel;
    context_.targetModel = usb::kFirstLargeModel;
  }

  WorkerOutcome outcome;
  if (writeNormal) {
    outcome.firmwareWritten = WriteNormalFirmware();
    if (outcome.firmwareWritten && !context_.noWaitBurnOk) {
      for (int i = 0; i < kVersionSettleSeconds; ++i) clock_.Sleep(kSecondMs);
      WindowThreadDisplay display(view_);
      PrinterQueries(context_, &display, links_).ReloadDeviceVersion();
    }
  }
  outcome.endProgram = outcome.firmwareWritten && usb::IsLargeModel(context_.connectedModel);
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
  {
    PathSwap code(context_.codePath, context_.altCodePath);
    PathSwap table(context_.tablePath, context_.altTablePath);
    // A failed alternative set is not reported: the normal firmware follows anyway.
    (void)Flash(context_.connectedModel, context_.connectedModel, context_.altFirmwarePath.c_str(),
                nullptr, context_.writeType, context_.cpuDelay, true);
  }
  context_.packageModel = context_.targetModel;
  context_.targetModel = context_.connectedModel;
}

bool UpdateWorker::WriteCpuFirmware() {
  ShowTexts(i18n::keys::kWritingFlashCpu1, i18n::keys::kWritingFlashCpu2);
  const uint32_t model = context_.targetModel;
  const uint32_t seconds = context_.cpuDelay + context_.cpuExtraDelay;
  bool ok = false;
  if (!usb::IsLargeModel(model)) {
    ok = Flash(model, model, context_.cpuFirmwarePath.c_str(), nullptr, kWriteTypeCpu, seconds,
               false);
  } else {
    PathSwap code(context_.codePath, context_.cpuFirmwarePath);
    PathSwap table(context_.tablePath, context_.cpuTablePath);
    ok = Flash(model, model, context_.cpuCodePath.c_str(), nullptr, kWriteTypeCpu, seconds, false);
  }
  if (!ok) {
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
  const PathText table = context_.colourTablePath.view();
  const bool withTable = context_.tableSwitch && !table.empty();
  const bool ok = Flash(context_.targetModel, context_.packageModel, context_.firmwarePath.c_str(),
                        withTable ? table.c_str() : nullptr, context_.writeType,
                        context_.firmwareDelay + context_.extraDelay, true);
  if (ok) {
    ShowText(i18n::keys::kWriteFlashDone);
  } else {
    ShowTexts(i18n::keys::kWriteFlashFail1, i18n::keys::kWriteFlashFail2);
  }
  return ok;
}

bool UpdateWorker::Flash(uint32_t openModel, uint32_t reopenModel, const char* image,
                         const char* table, uint8_t writeType, uint32_t waitSeconds,
                         bool waitForRestart) {
  protocol::FlashRequest request;
  request.openModel = openModel;
  request.reopenModel = reopenModel;
  request.imagePath = image;
  request.tablePath = table;
  request.writeType = writeType;
  request.waitSeconds = static_cast<uint16_t>(waitSeconds);  // the sum is taken in 16 bits
  request.waitForRestart = waitForRestart;
  protocol::FirmwareDownload download(context_, links_);
  return download.FlashFirmware(request);
}

void UpdateWorker::ShowTexts(const i18n::TextKey& first, const i18n::TextKey& second) {
  i18n::LanguageText text = texts_.GetText(first);
  text.Append("\n\n");
  text.Append(texts_.GetText(second));
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
