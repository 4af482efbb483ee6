#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/app_session.h"
#include "app/corner_gesture.h"
#include "app/deferred_view.h"
#include "app/main_window_view.h"
#include "app/mode_record.h"
#include "app/reachability_hint.h"
#include "app/update_worker.h"
#include "config/model_entry.h"
#include "config/package.h"
#include "i18n/language_file.h"
#include "platform/clock.h"
#include "platform/installed_printers.h"
#include "platform/stop_signals.h"
#include "platform/usb_printer_nodes.h"
#include "protocol/download_observer.h"
#include "usb/link_factory.h"

namespace kiln::app {

// The statuses the window shows, each two language texts joined by a blank line.
enum class WindowStatus {
  kNone,
  kNoIniFile,
  kNoFwFile,
  kNotValidFwFile,
  kNoDriver,
  kDisconnected,
  kReady,
  kCanNotDowngrade,
};

// The status text of a status in the language of texts.
i18n::LanguageText StatusText(WindowStatus status, const i18n::LanguageFile& texts);

// The count-down line of the download ("Burning flash.....%d"). The mark after the
// last second shows as 0: programming is over and the printer is being reconnected.
i18n::LanguageText CountdownText(uint32_t value);

// The two maintenance dialogs behind the corner gestures; each returns true on OK.
// Left empty, the gestures do nothing.
struct MaintenanceDialogs {
  std::function<bool(int entry)> advancedSettings;
  std::function<bool()> setting;
};

// What the controller stands on besides the session; tests give doubles.
struct WindowServices {
  platform::InstalledPrinters* installedPrinters = &platform::SystemInstalledPrinters();
  usb::LinkFactory links = usb::DefaultLinkFactory();
  platform::Clock* clock = &platform::SystemClock();
  // USB devices of a model that no printer node reaches, for the Disconnected status.
  UnreachablePrinterProbe unreachablePrinters = &platform::UnreachableUsbPrinters;
  // Where each update's outcome per printer is recorded; none by default.
  HistoryWriter writeHistory;
  // The stop signal received so far: an update under way starts no further step after it.
  protocol::StopRequest stopRequested = &platform::StopRequested;
};

enum class DeviceChange { kArrival, kRemovalComplete, kOther };

// What the window is doing; it does one of these at a time, and only the controller's
// SetPhase moves it from one to the next.
enum class WindowPhase {
  kNotInitialised,  // before the first evaluation: Exit waits for it
  kIdle,
  kEvaluating,    // a state evaluation runs on its own thread
  kUpdating,      // from START until the worker's end has been handled
  kColourDialog,  // the colour-mode dialog is open
  kClosing,       // the window goes: an evaluation asks nothing more, its result is dropped
};

// Whether the window ever goes from one phase to the other: from idle to any work, from
// any work back to idle or to closing, and nowhere once closing.
bool PhaseChangeAllowed(WindowPhase from, WindowPhase to);

// Device changes the window could not look at when they came. An arrival covers a
// removal: the evaluation it starts finds both.
enum class DeviceChangesSeen { kNone, kRemoval, kArrival };

// What becomes of the window when the update under way has ended.
enum class AfterUpdate {
  kShowOutcome,  // the window stays, with the update's outcome
  kCloseWindow,  // a stop signal came during the update: the window closes
  kWindowGoing,  // the window was told to go meanwhile: nothing more is evaluated
};

// The main window without its widgets: the state evaluation, the model entry in use,
// device changes, the download notifications, START and the rules that keep the
// window still while an update runs. Every method runs on the window's thread, except
// the update worker's events (WorkerEvents, the download's notifications and warnings
// among them), which arrive on the worker's thread and are handed to the window's.
//
// A state evaluation that talks to printers (the probes, the version and colour-mode
// queries) runs on a thread of its own, one at a time; what it shows reaches the window
// in one go on the window's thread when it ends, and the window paints and keeps its
// status meanwhile. Device changes during an evaluation queue one more evaluation; START,
// the colour-mode change, the version click and the corner gestures wait for its end;
// Exit works and stops it after the transfer under way.
class MainWindowController final : public WorkerEvents {
 public:
  MainWindowController(AppSession& session, MainWindowView& view, WindowServices services = {});
  // Stops a running evaluation and waits for it and for a running update to end.
  ~MainWindowController() override;
  MainWindowController(const MainWindowController&) = delete;
  MainWindowController& operator=(const MainWindowController&) = delete;

  // The window's first evaluation, once Kiln.ini has been looked for: with it, the
  // model entry is selected; without it, the NoIniFile status.
  void Initialise(bool configFound);
  // The chain of checks for model entry (1 or 2); true when a printer answered.
  bool EvaluateState(int entry);
  // Entry 1, else entry 2 when it is supported and entry 1 found no printer, else
  // entry 1 again so that its status is the one shown.
  void SelectModelEntry();
  // From an evaluation's start until its result has been shown on the window's thread.
  bool Evaluating() const {
    return phase_ == WindowPhase::kEvaluating ||
           (phase_ == WindowPhase::kClosing && evaluator_.joinable());
  }
  // The window is going: a running evaluation asks the printer nothing more and its
  // result is dropped; an update under way ends first.
  void StopEvaluation();
  void OnDeviceChange(DeviceChange change);
  // A click on "Current Version:": the printer's version is read again.
  void OnCurrentVersionClicked();
  // A left click in the client area; opens a maintenance dialog for a corner gesture.
  void OnLeftClick(int x, int y, bool ctrl, bool shift);
  // START: prepares the update and starts the worker.
  void OnStart();
  // Exit, Esc or closing the window: whether the window may close now.
  bool OnExit();
  // A stop signal (SIGINT, SIGTERM, SIGHUP): true when the window may close now. During
  // an update the status says that the update ends first; the window then closes as
  // soon as the update has ended (queues resumed, printers checked).
  bool OnStopRequested();
  // After the colour-mode dialog chose a table for the next update.
  void OnColourTableChosen();
  // Change Color Mode: runs the dialog (true when it chose a table) for the active entry.
  // Device changes while it is open are looked at once, after it has closed, so that the
  // choice is recorded against the entry and model it was made for.
  void ChangeColourMode(const std::function<bool(int entry)>& runDialog);
  // The download's notifications, handed to the window's thread.
  void OnDownloadNotification(uint32_t kind, uint32_t value) override;
  // Something the user should know that does not stop the update (a print queue that
  // could not be held or resumed): a line under the status until the update has ended.
  void OnWarning(const char* text) override;
  // The update worker's events: its start, status texts, version and end.
  void OnUpdateBegins() override;
  void OnUpdateStatus(const char* text) override;
  void OnVersionRead(const char* text) override;
  void OnUpdateWorkEnds() override;

  WindowPhase Phase() const { return phase_; }
  // From START until the worker's end has been handled on the window's thread.
  bool Busy() const { return phase_ == WindowPhase::kUpdating; }
  // The model entry and the model the window addresses, as the last evaluation read them.
  const config::ModelEntry& Entry() const { return entry_; }
  uint32_t TargetModel() const { return package_.targetModel; }
  bool WorkerRunning() const { return Busy(); }
  int ActiveEntry() const { return activeEntry_; }
  WindowStatus Status() const { return status_; }
  const char* StatusTextShown() const { return statusText_.c_str(); }
  void SetMaintenanceDialogs(MaintenanceDialogs dialogs) { dialogs_ = std::move(dialogs); }
  // The window's printer queries, for the colour-mode dialog too.
  PrinterQueries Queries();

 private:
  // The one place the phase changes; a change the window never makes is a fault.
  void SetPhase(WindowPhase next);
  // Runs work (the evaluation's printer work) off the window's thread, then shows what
  // it showed and runs afterwards on the window's thread.
  void RunEvaluation(std::function<void()> work, std::function<void()> afterwards = {});
  void FinishEvaluation();
  // START, the gestures, the version click and the colour-mode change wait for an idle
  // window.
  bool Occupied() const { return phase_ != WindowPhase::kIdle; }
  // Remembers a device change to be looked at once the window is idle again.
  void NoteDeviceChange(DeviceChange change);
  // The view the controller shows on: the window, or the deferred view of a running
  // evaluation.
  MainWindowView& Shown() { return *shown_; }
  void ArrivalEvaluation();
  // Builds the status text, keeps it as the last status and shows it.
  void SetStatus(WindowStatus status, const char* suffix = "");
  // Shows text, with the update's warning line under it while there is one.
  void ShowStatusText(const char* text);
  void EnableStartAndColourMode(bool enable);
  // The printer answered: Ready, unless the no-downgrade rule refuses the package.
  // Keeps the printers the probe could not open, each with its reason, for the status line.
  void NoteUnopened(const PrinterQueries& queries);
  bool ApplyReadyOrDowngrade();
  // Whether the last evaluation got as far as asking the printer.
  bool ReachedConnectionStep() const;
  void OnArrival();
  void OnRemoval();
  // A colour table chosen for one model entry and model does not fit another.
  void ForgetColourTableOnEntryChange();
  bool StopIfUnreadable(bool configRead, bool packageRead);
  void HandleDownloadNotification(uint32_t kind, uint32_t value);
  void OnWorkerFinished(WorkerOutcome outcome);

  AppSession& session_;
  // What the evaluations and START read and found; the evaluation thread writes them while
  // it runs, the window thread otherwise. An update gets its own copy in its plan.
  config::ModelEntry entry_;  // the entry last read: the next read starts from it
  config::Package package_;   // the package's header; its files only while START runs
  PrinterState printer_;      // the printer as the last queries found it
  std::string unopenedLine_;  // the printers the last probe could not open, a line each
  MainWindowView& view_;
  WindowServices services_;
  MaintenanceDialogs dialogs_;
  int activeEntry_ = 1;
  WindowStatus status_ = WindowStatus::kNone;
  i18n::LanguageText statusText_;
  i18n::LanguageText statusWithoutWarning_;
  std::string warningLine_;  // the update's last warning; window thread only
  int colourChoiceEntry_ = 0;
  uint32_t colourChoiceModel_ = 0;
  std::thread worker_;

  // The phase and what is remembered beside it are the window thread's; the threads of
  // the evaluation and the update never read them.
  WindowPhase phase_ = WindowPhase::kNotInitialised;
  DeviceChangesSeen changesSeen_ = DeviceChangesSeen::kNone;
  AfterUpdate afterUpdate_ = AfterUpdate::kShowOutcome;
  // Set once the window is closing; the evaluation's printer queries read it.
  std::atomic<bool> stopQueries_ = false;

  // The running evaluation.
  MainWindowView* shown_;
  std::unique_ptr<DeferredView> deferred_;
  std::function<void()> afterEvaluation_;
  std::thread evaluator_;
};

}  // namespace kiln::app
