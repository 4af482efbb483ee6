#include "app/main_window_controller.h"

#include <cstdio>
#include <utility>

#include "app/printer_compare.h"
#include "app/version_text.h"
#include "config/firmware_package.h"
#include "config/package.h"
#include "i18n/driver_error_text.h"
#include "i18n/string_table.h"
#include "models/model_table.h"

namespace kiln::app {

namespace {

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

i18n::LanguageText StatusText(WindowStatus status, const i18n::LanguageFile& texts) {
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
  stopQueries_ = true;
  if (evaluator_.joinable()) evaluator_.join();
  if (worker_.joinable()) worker_.join();
}

bool PhaseChangeAllowed(WindowPhase from, WindowPhase to) {
  switch (from) {
    case WindowPhase::kNotInitialised:
      return to == WindowPhase::kIdle || to == WindowPhase::kEvaluating ||
             to == WindowPhase::kClosing;
    case WindowPhase::kIdle:
      return to != WindowPhase::kIdle && to != WindowPhase::kNotInitialised;
    case WindowPhase::kEvaluating:
    case WindowPhase::kUpdating:
    case WindowPhase::kColourDialog:
      return to == WindowPhase::kIdle || to == WindowPhase::kClosing;
    case WindowPhase::kClosing:
      break;
  }
  return false;
}

void MainWindowController::SetPhase(WindowPhase next) {
  // Checked in every build: a change the window never makes could let an update start
  // beside another or the window close under one. It is refused, and said on stderr.
  if (!PhaseChangeAllowed(phase_, next)) {
    std::fprintf(stderr, "kiln: the window's phase %d cannot change to %d\n",
                 static_cast<int>(phase_), static_cast<int>(next));
    return;
  }
  phase_ = next;
  if (next == WindowPhase::kClosing) stopQueries_ = true;
}

void MainWindowController::StopEvaluation() {
  if (phase_ == WindowPhase::kClosing) return;
  if (phase_ == WindowPhase::kUpdating) {
    // The update runs to its end; the window goes then.
    if (afterUpdate_ == AfterUpdate::kShowOutcome) afterUpdate_ = AfterUpdate::kWindowGoing;
    return;
  }
  SetPhase(WindowPhase::kClosing);
}

void MainWindowController::NoteDeviceChange(DeviceChange change) {
  const DeviceChangesSeen seen =
      change == DeviceChange::kArrival ? DeviceChangesSeen::kArrival : DeviceChangesSeen::kRemoval;
  if (changesSeen_ != DeviceChangesSeen::kArrival) changesSeen_ = seen;
}

PrinterQueries MainWindowController::Queries() {
  return PrinterQueries(printer_, &Shown(), services_.links, &stopQueries_);
}

void MainWindowController::RunEvaluation(std::function<void()> work,
                                         std::function<void()> afterwards) {
  SetPhase(WindowPhase::kEvaluating);
  deferred_ = std::make_unique<DeferredView>(view_, view_.IsInitialised());
  shown_ = deferred_.get();
  afterEvaluation_ = std::move(afterwards);
  evaluator_ = std::thread([this, work = std::move(work)] {
    work();
    view_.PostToWindowThread([this] { FinishEvaluation(); });
  });
}

void MainWindowController::FinishEvaluation() {
  if (evaluator_.joinable()) evaluator_.join();
  shown_ = &view_;
  const std::unique_ptr<DeferredView> shown = std::move(deferred_);
  std::function<void()> afterwards = std::exchange(afterEvaluation_, {});
  if (phase_ == WindowPhase::kClosing) return;
  SetPhase(WindowPhase::kIdle);
  shown->Replay(view_);
  if (afterwards) afterwards();
  // However many device changes came meanwhile, one more evaluation looks at them all.
  switch (std::exchange(changesSeen_, DeviceChangesSeen::kNone)) {
    case DeviceChangesSeen::kArrival:
      OnArrival();
      break;
    case DeviceChangesSeen::kRemoval:
      OnRemoval();
      break;
    case DeviceChangesSeen::kNone:
      break;
  }
}

void MainWindowController::Initialise(bool configFound) {
  if (configFound) {
    RunEvaluation([this] { SelectModelEntry(); });
    return;
  }
  if (phase_ == WindowPhase::kNotInitialised) SetPhase(WindowPhase::kIdle);
  SetStatus(WindowStatus::kNoIniFile);
  Shown().EnableStart(false);
}

void MainWindowController::SetStatus(WindowStatus status, const char* suffix) {
  status_ = status;
  i18n::LanguageText text = StatusText(status, session_.language);
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
  const bool answered = queries.ProbeConnection(package_.targetModel);
  NoteUnopened(queries);
  if (!answered) {
    // A printer the kernel sees but no printer node reaches (another driver or program
    // holds it) is named, as plugging it in again does not help while it stays held.
    i18n::LanguageText hint;
    hint = unopenedLine_.c_str();
    if (unopenedLine_.empty() &&
        SeenButUnreachable(services_.unreachablePrinters, package_.targetModel)) {
      hint.Append("\n");
      hint.Append(session_.language.GetText(kUnreachablePrinterHint));
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

void MainWindowController::NoteUnopened(const PrinterQueries& queries) {
  unopenedLine_.clear();
  for (const protocol::PrinterOutcome& printer : queries.unopened()) {
    unopenedLine_ += "\n" + printer.text;
  }
}

bool MainWindowController::ApplyReadyOrDowngrade() {
  SetStatus(WindowStatus::kReady, unopenedLine_.c_str());
  Shown().EnableStart(true);
  // START follows the compare over every printer: refused only when none may take the
  // package.
  if (entry_.noDowngrade && !CompareEveryPrinter(services_.links, printer_, package_.version,
                                                 UpdateMode::kWindow, true, false)
                                 .anyNeeds) {
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
  SetPhase(WindowPhase::kColourDialog);
  const bool chosen = runDialog(activeEntry_);
  if (chosen) OnColourTableChosen();
  if (phase_ != WindowPhase::kColourDialog) return;  // the window went meanwhile
  SetPhase(WindowPhase::kIdle);
  if (std::exchange(changesSeen_, DeviceChangesSeen::kNone) != DeviceChangesSeen::kNone) {
    OnArrival();
  }
}

bool MainWindowController::ReachedConnectionStep() const {
  return status_ == WindowStatus::kDisconnected || status_ == WindowStatus::kReady ||
         status_ == WindowStatus::kCanNotDowngrade;
}

void MainWindowController::OnDeviceChange(DeviceChange change) {
  if (change == DeviceChange::kOther) return;
  switch (phase_) {
    case WindowPhase::kEvaluating:
    case WindowPhase::kUpdating:
    case WindowPhase::kColourDialog:
      NoteDeviceChange(change);
      return;
    case WindowPhase::kNotInitialised:  // the first evaluation finds the printers as they are
    case WindowPhase::kClosing:
      return;
    case WindowPhase::kIdle:
      break;
  }
  if (change == DeviceChange::kArrival) {
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
  const bool answered = queries.ProbeConnection(package_.targetModel);
  NoteUnopened(queries);
  if (!answered || !ApplyReadyOrDowngrade()) return;
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
  SetPhase(WindowPhase::kIdle);
  return true;
}

void MainWindowController::OnStart() {
  if (Occupied()) return;
  // Before anything talks to the printer: a second click, Exit or a device change now
  // finds the update under way.
  SetPhase(WindowPhase::kUpdating);
  afterUpdate_ = AfterUpdate::kShowOutcome;
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
  worker_ =
      std::thread([this, handover = std::move(handover), tag = session_.languageTag]() mutable {
        const WorkerServices services{&session_.language, tag.c_str(), services_.links,
                                      services_.clock, services_.writeHistory};
        UpdateWorker worker(std::move(handover), services, *this);
        const WorkerOutcome outcome = worker.Run();
        view_.PostToWindowThread([this, outcome] { OnWorkerFinished(outcome); });
      });
}

void MainWindowController::OnWorkerFinished(WorkerOutcome outcome) {
  if (worker_.joinable()) worker_.join();
  if (outcome.deviceVersion) printer_.deviceVersion = *outcome.deviceVersion;
  const AfterUpdate after = std::exchange(afterUpdate_, AfterUpdate::kShowOutcome);
  SetPhase(after == AfterUpdate::kShowOutcome ? WindowPhase::kIdle : WindowPhase::kClosing);
  // Offered in the same step as the phase that honours them: Exit is never pressable
  // while it would still be refused.
  Shown().EnableStart(true);
  Shown().EnableExit(true);
  Shown().EnableColourMode(true);
  if (after == AfterUpdate::kCloseWindow) {
    view_.CloseWindow();
    return;
  }
  if (outcome.endProgram) {
    const i18n::LanguageFile& texts = session_.language;
    i18n::LanguageText notice = texts.GetText(i18n::keys::kSendFwDataDone1);
    notice.Append("\n");
    notice.Append(texts.GetText(i18n::keys::kSendFwDataDone2));
    notice.Append("\n\n");
    notice.Append(texts.GetText(i18n::keys::kSendFwDataDone3));
    Shown().ShowNoticeBox(notice.c_str());
    Shown().CloseWindow();
    return;
  }
  if (std::exchange(changesSeen_, DeviceChangesSeen::kNone) != DeviceChangesSeen::kNone &&
      phase_ == WindowPhase::kIdle) {
    // What changed while the update ran (the printer's own restart, at least) is looked
    // at once, now. A printer found ready keeps the update's outcome on screen.
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
  switch (phase_) {
    case WindowPhase::kNotInitialised:
    case WindowPhase::kUpdating:
      return false;
    case WindowPhase::kEvaluating:
      // A running evaluation ends after the transfer under way; what it found is not shown.
      SetPhase(WindowPhase::kClosing);
      return true;
    case WindowPhase::kIdle:
    case WindowPhase::kColourDialog:
    case WindowPhase::kClosing:
      return true;
  }
  return true;
}

bool MainWindowController::OnStopRequested() {
  if (phase_ != WindowPhase::kUpdating) return true;
  afterUpdate_ = AfterUpdate::kCloseWindow;
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

void MainWindowController::OnUpdateBegins() {
  view_.RunOnWindowThread([this] {
    view_.EnableStart(false);
    view_.EnableExit(false);
    view_.EnableColourMode(false);
    view_.PlayAnimation(true);
  });
}

void MainWindowController::OnUpdateStatus(const char* text) {
  view_.RunOnWindowThread([&] { ShowStatusText(text); });
}

void MainWindowController::OnVersionRead(const char* text) {
  view_.RunOnWindowThread([&] { view_.ShowCurrentVersion(text); });
}

void MainWindowController::OnUpdateWorkEnds() {
  view_.RunOnWindowThread([this] { view_.PlayAnimation(false); });
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
