#include "app/main_window_controller.h"

#include <utility>

#include "app/version_text.h"
#include "config/firmware_package.h"
#include "config/package.h"
#include "i18n/driver_error_text.h"
#include "i18n/string_table.h"
#include "models/model_table.h"

namespace kiln::app {

namespace {

// Set on the evaluation's own thread, so that its text lookups use their own copy.
thread_local bool tOnEvaluationThread = false;

// Under the status while an update that a stop signal came during runs to its end.
constexpr const char* kStopDeferredLine =
    "A stop was requested: the update of the printer ends first, then Kiln closes.";

}  // namespace

namespace {

constexpr const char* kNotAvailable = "N/A";

struct StatusKeys {
  i18n::TextKey first;
  i18n::TextKey second;  // key nullptr: the status has one text
};

StatusKeys KeysOf(WindowStatus status) {
  using namespace i18n::keys;
  switch (status) {
    case WindowStatus::kNoIniFile:
      return {kNoIniFile1, kNoIniFile2};
    case WindowStatus::kNoFwFile:
      return {kNoFwFile1, kNoFwFile2};
    case WindowStatus::kNotValidFwFile:
      return {kNotValidFwFile1, kNotValidFwFile2};
    case WindowStatus::kNoDriver:
      return {kNoDriver1, kNoDriver2};
    case WindowStatus::kDisconnected:
      return {kDisconnected1, kDisconnected2};
    case WindowStatus::kReady:
      return {kReady, kReady2};
    case WindowStatus::kCanNotDowngrade:
      return {kCanNotDowngrade, {nullptr, 0}};
    case WindowStatus::kNone:
      break;
  }
  return {{nullptr, 0}, {nullptr, 0}};
}

}  // namespace

i18n::LanguageText StatusText(WindowStatus status, i18n::LanguageFile& texts) {
  const StatusKeys keys = KeysOf(status);
  i18n::LanguageText text;
  if (keys.first.key == nullptr) return text;
  text = texts.GetText(keys.first);
  text.Append("\n\n");
  if (keys.second.key != nullptr) text.Append(texts.GetText(keys.second));
  return text;
}

i18n::LanguageText CountdownText(uint32_t value) {
  i18n::LanguageText text;
  text.Format("Burning flash.....%u", value == DownloadObserver::kCountdownDone ? 0u : value);
  return text;
}

MainWindowController::MainWindowController(AppSession& session, MainWindowView& view,
                                           WindowServices services)
    : session_(session), view_(view), services_(std::move(services)), shown_(&view) {}

MainWindowController::~MainWindowController() {
  stopping_ = true;
  if (evaluator_.joinable()) evaluator_.join();
  if (worker_.joinable()) worker_.join();
}

i18n::LanguageFile& MainWindowController::Texts() {
  return tOnEvaluationThread ? evaluationTexts_ : session_.language;
}

PrinterQueries MainWindowController::Queries() {
  return PrinterQueries(printer_, &Shown(), services_.links, &stopping_);
}

void MainWindowController::RunEvaluation(std::function<void()> work,
                                         std::function<void()> afterwards) {
  evaluating_ = true;
  // A lookup writes into the language file's own buffers: the evaluation looks its texts
  // up in a copy, so the window thread may go on using the session's.
  evaluationTexts_ = session_.language;
  deferred_ = std::make_unique<DeferredView>(view_, view_.IsInitialised());
  shown_ = deferred_.get();
  afterEvaluation_ = std::move(afterwards);
  evaluator_ = std::thread([this, work = std::move(work)] {
    tOnEvaluationThread = true;
    work();
    view_.PostToWindowThread([this] { FinishEvaluation(); });
  });
}

void MainWindowController::FinishEvaluation() {
  if (evaluator_.joinable()) evaluator_.join();
  shown_ = &view_;
  evaluating_ = false;
  const std::unique_ptr<DeferredView> shown = std::move(deferred_);
  std::function<void()> afterwards = std::exchange(afterEvaluation_, {});
  if (stopping_) return;
  shown->Replay(view_);
  if (afterwards) afterwards();
  // However many device changes came meanwhile, one more evaluation looks at them all.
  if (std::exchange(arrivalQueued_, false)) {
    removalQueued_ = false;
    OnArrival();
  } else if (std::exchange(removalQueued_, false)) {
    OnRemoval();
  }
}

void MainWindowController::Initialise(bool configFound) {
  initialised_ = true;
  if (configFound) {
    RunEvaluation([this] { SelectModelEntry(); });
    return;
  }
  SetStatus(WindowStatus::kNoIniFile);
  Shown().EnableStart(false);
}

void MainWindowController::SetStatus(WindowStatus status, const char* suffix) {
  status_ = status;
  i18n::LanguageText text = StatusText(status, Texts());
  text.Append(suffix);
  ShowStatusText(text.c_str());
}

void MainWindowController::ShowStatusText(const char* text) {
  statusWithoutWarning_ = text;
  statusText_ = text;
  if (!warningLine_.empty()) {
    statusText_.Append("\n");
    statusText_.Append(warningLine_);
  }
  Shown().ShowStatus(statusText_.c_str());
}

void MainWindowController::EnableStartAndColourMode(bool enable) {
  Shown().EnableStart(enable);
  Shown().EnableColourMode(enable);
}

bool MainWindowController::EvaluateState(int entry) {
  entry_ = config::ReadModelEntry(session_.folder, entry, config::EarlierEntry::Of(entry_));
  if (!entry_.packageFound) {
    SetStatus(WindowStatus::kNoFwFile);
    Shown().EnableStart(false);
    return false;
  }
  Shown().EnableColourMode(entry_.tableSwitch);
  Shown().ShowColourModeButton(entry_.tableSwitch);

  const config::PackageReading headers = config::ReadPackageHeaders(entry_);
  package_.info() = headers.Over(package_.info());
  if (!headers.valid) {
    SetStatus(WindowStatus::kNotValidFwFile);
    EnableStartAndColourMode(false);
    return false;
  }
  Shown().ShowModelName(package_.driverName.c_str());
  Shown().ShowPackageVersion(package_.version.c_str());

  // The driver check always runs; NoCheckDriver only overrides its result.
  const bool driverInstalled =
      services_.installedPrinters->CountInstalledPrinters(package_.driverName.c_str()) > 0;
  if (!driverInstalled && !entry_.noCheckDriver) {
    SetStatus(WindowStatus::kNoDriver);
    EnableStartAndColourMode(false);
    return false;
  }

  printer_.largeModel = models::IsLargeModel(package_.targetModel);
  PrinterQueries queries = Queries();
  if (!queries.ProbeConnection(package_.targetModel)) {
    // A printer the kernel sees but no printer node reaches (another driver or program
    // holds it) is named, as plugging it in again does not help while it stays held.
    i18n::LanguageText hint;
    if (SeenButUnreachable(services_.unreachablePrinters, package_.targetModel)) {
      hint.Append("\n");
      hint.Append(Texts().GetText(kUnreachablePrinterHint));
    }
    SetStatus(WindowStatus::kDisconnected, hint.c_str());
    EnableStartAndColourMode(false);
    return false;
  }
  if (!queries.QueryColourMode(package_.targetModel, entry_.noBusyCheckAtStartup, nullptr)) {
    entry_.tableSwitch = false;
    Shown().ShowColourModeButton(false);
  }
  (void)ApplyReadyOrDowngrade();
  return true;
}

bool MainWindowController::ApplyReadyOrDowngrade() {
  SetStatus(WindowStatus::kReady);
  Shown().EnableStart(true);
  if (entry_.noDowngrade &&
      PackageOlderThanDevice(package_.version, printer_.deviceVersion.view())) {
    EnableStartAndColourMode(false);
    SetStatus(WindowStatus::kCanNotDowngrade);
    return false;
  }
  return true;
}

void MainWindowController::SelectModelEntry() {
  activeEntry_ = 1;
  if (!EvaluateState(1) && entry_.supportModel2) {
    activeEntry_ = 2;
    if (!EvaluateState(2)) {
      activeEntry_ = 1;
      (void)EvaluateState(1);
    }
  }
  ForgetColourTableOnEntryChange();
}

void MainWindowController::ForgetColourTableOnEntryChange() {
  if (session_.colourTable.empty()) return;
  if (activeEntry_ != colourChoiceEntry_ || package_.targetModel != colourChoiceModel_) {
    session_.colourTable.clear();
  }
}

void MainWindowController::OnColourTableChosen() {
  colourChoiceEntry_ = activeEntry_;
  colourChoiceModel_ = package_.targetModel;
}

void MainWindowController::ChangeColourMode(const std::function<bool(int entry)>& runDialog) {
  if (Occupied()) return;
  colourDialogOpen_ = true;
  const bool chosen = runDialog(activeEntry_);
  colourDialogOpen_ = false;
  if (chosen) OnColourTableChosen();
  if (std::exchange(deviceChangeDuringDialog_, false)) OnArrival();
}

bool MainWindowController::ReachedConnectionStep() const {
  return status_ == WindowStatus::kDisconnected || status_ == WindowStatus::kReady ||
         status_ == WindowStatus::kCanNotDowngrade;
}

void MainWindowController::OnDeviceChange(DeviceChange change) {
  if (change == DeviceChange::kOther) return;
  if (Busy() || workerRunning_) {
    deviceChangeWhileBusy_ = true;
    return;
  }
  if (colourDialogOpen_) {
    deviceChangeDuringDialog_ = true;
    return;
  }
  const bool arrival = change == DeviceChange::kArrival;
  if (evaluating_) {
    (arrival ? arrivalQueued_ : removalQueued_) = true;
    return;
  }
  if (arrival) {
    OnArrival();
  } else {
    OnRemoval();
  }
}

void MainWindowController::OnArrival() {
  RunEvaluation([this] { ArrivalEvaluation(); });
}

void MainWindowController::ArrivalEvaluation() {
  SelectModelEntry();
  // A chain that stopped before the printer check (package, driver) has nothing to
  // probe: the model it would use is left from an earlier read.
  if (!ReachedConnectionStep()) return;
  PrinterQueries queries = Queries();
  if (!queries.ProbeConnection(package_.targetModel)) return;
  if (!ApplyReadyOrDowngrade()) return;
  if (!queries.QueryColourMode(package_.targetModel, entry_.noBusyCheckAtStartup, nullptr)) {
    entry_.tableSwitch = false;
    Shown().ShowColourModeButton(false);
  } else if (entry_.tableSwitch) {
    Shown().ShowColourModeButton(true);
    Shown().EnableColourMode(true);
  }
}

void MainWindowController::OnRemoval() {
  // Another printer may have gone: the status changes only when no printer of the
  // target model is left (counted, not opened).
  const uint32_t model = package_.targetModel;
  const std::unique_ptr<usb::CUsbLink> link = services_.links();
  uint32_t left = link->CountDevices(model);
  const uint32_t fallBack = models::FallBackModelOf(model);
  if (left == 0 && fallBack != 0) left = link->CountDevices(fallBack);
  if (left != 0) return;
  SetStatus(WindowStatus::kDisconnected, "\n");
  EnableStartAndColourMode(false);
  Shown().ShowCurrentVersion(kNotAvailable);
}

void MainWindowController::OnCurrentVersionClicked() {
  if (Occupied()) return;
  RunEvaluation([this] { Queries().ReloadDeviceVersion(); });
}

void MainWindowController::OnLeftClick(int x, int y, bool ctrl, bool shift) {
  const CornerGesture gesture = ClassifyCornerClick(x, y, ctrl, shift);
  if (gesture == CornerGesture::kNone || Occupied()) return;
  bool accepted = false;
  if (gesture == CornerGesture::kAdvancedSettings && dialogs_.advancedSettings) {
    accepted = dialogs_.advancedSettings(activeEntry_);
  } else if (gesture == CornerGesture::kSetting && dialogs_.setting) {
    accepted = dialogs_.setting();
  }
  if (accepted) RunEvaluation([this] { SelectModelEntry(); });
}

bool MainWindowController::StopIfUnreadable(bool configRead, bool packageRead) {
  if (configRead && packageRead) return false;
  SetStatus(configRead ? WindowStatus::kNotValidFwFile : WindowStatus::kNoFwFile);
  EnableStartAndColourMode(false);
  Shown().EnableExit(true);
  session_.busy = false;
  return true;
}

void MainWindowController::OnStart() {
  if (Occupied()) return;
  // Before anything talks to the printer: a second click, Exit or a device change now
  // finds the update under way.
  session_.busy = true;
  Shown().EnableStart(false);
  Shown().EnableExit(false);
  Shown().EnableColourMode(false);

  // The package is read once, here: what is checked now is what the update sends. Table
  // switching stays off when the evaluation turned it off for a printer that did not
  // answer the colour-mode query.
  const bool tableSwitchAllowed = entry_.tableSwitch;
  entry_ = config::ReadModelEntry(session_.folder, activeEntry_, config::EarlierEntry::Of(entry_));
  const bool configRead = entry_.packageFound;
  entry_.tableSwitch = entry_.tableSwitch && tableSwitchAllowed;
  package_.files = {};
  if (configRead) package_.files = config::LoadPackageFiles(entry_, session_.colourTable);
  const config::PackageReading reading =
      configRead ? config::ReadPackageInfo(entry_, package_.files) : config::PackageReading{};
  package_.info() = reading.Over(package_.info());
  const bool packageRead = reading.valid;
  if (StopIfUnreadable(configRead, packageRead)) {
    package_.files = {};
    return;
  }

  Shown().ShowModelName(package_.driverName.c_str());
  Shown().ShowPackageVersion(package_.version.c_str());
  // The update's own thread asks the printer what the plan needs and makes the plan.
  WorkerHandover handover{entry_, package_, printer_, services_.stopRequested};
  // The update holds the files now; they go when it has ended.
  package_.files = {};

  warningLine_.clear();
  workerRunning_ = true;
  worker_ = std::thread([this, handover = std::move(handover), texts = session_.language,
                         tag = session_.languageTag]() mutable {
    UpdateWorker worker(
        std::move(handover), texts, tag.c_str(), view_, services_.links, *services_.clock, this,
        [this](const char* text) { ShowStatusText(text); }, services_.writeHistory);
    const WorkerOutcome outcome = worker.Run();
    view_.PostToWindowThread([this, outcome] { OnWorkerFinished(outcome); });
  });
}

void MainWindowController::OnWorkerFinished(WorkerOutcome outcome) {
  if (worker_.joinable()) worker_.join();
  if (outcome.deviceVersion) printer_.deviceVersion = *outcome.deviceVersion;
  session_.busy = false;
  workerRunning_ = false;
  if (stopAfterUpdate_) {
    view_.CloseWindow();
    return;
  }
  if (outcome.endProgram) {
    i18n::LanguageFile& texts = session_.language;
    i18n::LanguageText notice = texts.GetText(i18n::keys::kSendFwDataDone1);
    notice.Append("\n");
    notice.Append(texts.GetText(i18n::keys::kSendFwDataDone2));
    notice.Append("\n\n");
    notice.Append(texts.GetText(i18n::keys::kSendFwDataDone3));
    Shown().ShowNoticeBox(notice.c_str());
    Shown().CloseWindow();
    return;
  }
  if (deviceChangeWhileBusy_) {
    // What changed while the update ran (the printer's own restart, at least) is looked
    // at once, now. A printer found ready keeps the update's outcome on screen.
    deviceChangeWhileBusy_ = false;
    RunEvaluation([this] { SelectModelEntry(); },
                  [this, lastStatus = outcome.lastStatus] {
                    if (status_ == WindowStatus::kReady) ShowStatusText(lastStatus.c_str());
                    warningLine_.clear();
                  });
    return;
  }
  // The warning stays on screen with the update's outcome; later statuses go without it.
  warningLine_.clear();
}

bool MainWindowController::OnExit() {
  if (!initialised_ || Busy() || workerRunning_) return false;
  // A running evaluation ends after the transfer under way; what it found is not shown.
  if (evaluating_) stopping_ = true;
  return true;
}

bool MainWindowController::OnStopRequested() {
  if (!Busy() && !workerRunning_) return true;
  stopAfterUpdate_ = true;
  warningLine_ = kStopDeferredLine;
  const i18n::LanguageText shown = statusWithoutWarning_;
  ShowStatusText(shown.c_str());
  return false;
}

void MainWindowController::OnDownloadNotification(uint32_t kind, uint32_t value) {
  view_.RunOnWindowThread([&] { HandleDownloadNotification(kind, value); });
}

void MainWindowController::HandleDownloadNotification(uint32_t kind, uint32_t value) {
  if (kind == kCountdown) {
    ShowStatusText(CountdownText(value).c_str());
    return;
  }
  if (kind != kPrinterError) return;
  i18n::LanguageText text;
  if (!i18n::GetDriverErrorText(package_.targetModel, value, text, false)) {
    // A code without a message is named, rather than repeating the previous status.
    text.Format("Printer error 0x%06X", value);
  }
  Shown().ShowErrorBox(text.c_str());
  ShowStatusText(text.c_str());
}

void MainWindowController::OnWarning(const char* text) {
  const std::string line = text != nullptr ? text : "";
  view_.RunOnWindowThread([&] {
    warningLine_ = line;
    const i18n::LanguageText shown = statusWithoutWarning_;
    ShowStatusText(shown.c_str());
  });
}

}  // namespace kiln::app
