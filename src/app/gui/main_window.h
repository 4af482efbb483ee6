#pragma once

#include <QDialog>
#include <QRect>
#include <QSize>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/app_session.h"
#include "app/main_window_controller.h"
#include "app/main_window_view.h"
#include "app/window_task_queue.h"
#include "platform/device_monitor.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QSocketNotifier;

namespace kiln::app {

class BurningAnimation;

// The main window (dialog template 102): model, package and printer versions, the
// status, START, Exit and Change Color Mode. Its controls carry their template ids as
// object names ("1" START, "2" Exit, "1031" Change Color Mode, "1001" status, ...).
// The logic lives in the controller; this class shows what it is told and hands user
// input and device changes to it.
class MainWindow final : public QDialog, public MainWindowView {
  Q_OBJECT

 public:
  // What the Change Color Mode button runs; true when a table was chosen.
  using ColourModeChange = std::function<bool(QWidget* parent, int activeEntry)>;

  MainWindow(AppSession& session, WindowServices services = {}, QWidget* parent = nullptr);
  // Waits for a running update to end before the window goes away.
  ~MainWindow() override;

  using MonitorOpener = std::function<std::unique_ptr<platform::DeviceMonitor>()>;
  // Looks for Kiln.ini in programFolder (re-texting the window); when it is there,
  // follows USB printers coming and going through the monitor openMonitor gives. Then
  // evaluates the window's state. True when Kiln.ini was found.
  bool Initialise(const std::string& programFolder, const MonitorOpener& openMonitor = {});
  MainWindowController& controller() { return *controller_; }
  void SetMaintenanceDialogs(MaintenanceDialogs dialogs);
  void SetColourModeChange(ColourModeChange change) { colourModeChange_ = std::move(change); }
  // Arrival and removal events from this monitor reach the controller on this thread.
  void WatchDevices(std::unique_ptr<platform::DeviceMonitor> monitor);

  // MainWindowView
  void ShowStatus(const char* text) override;
  void ShowModelName(const char* text) override;
  void ShowPackageVersion(const char* text) override;
  void ShowCurrentVersion(const char* text) override;
  bool IsInitialised() const override { return initialised_; }
  void EnableStart(bool enable) override;
  void EnableExit(bool enable) override;
  void EnableColourMode(bool enable) override;
  void ShowColourModeButton(bool show) override;
  void PlayAnimation(bool play) override;
  void ShowErrorBox(const char* text) override;
  void ShowNoticeBox(const char* text) override;
  void CloseWindow() override;
  void RunOnWindowThread(const std::function<void()>& task) override;
  void PostToWindowThread(std::function<void()> task) override;

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private slots:
  // Runs what other threads queued for this one.
  void RunQueuedTasks();

 private:
  void BuildControls();
  QString WidgetText(const char* bytes) const;
  void ShowAbout();
  void OnDeviceEvents();
  void OnChangeColourMode();
  // A status longer than its template height grows downwards, its frame, the controls
  // below it and the window with it; a shorter one brings the template layout back.
  void FitStatus();

  AppSession& session_;
  bool initialised_ = false;
  ColourModeChange colourModeChange_;

  // Tasks from the worker's thread, woken by a queued call of RunQueuedTasks; declared
  // before the controller, which joins that thread when it goes.
  WindowTaskQueue tasks_;

  std::unique_ptr<platform::DeviceMonitor> monitor_;
  QSocketNotifier* deviceNotifier_ = nullptr;

  QPushButton* start_ = nullptr;
  QPushButton* exit_ = nullptr;
  QPushButton* colourMode_ = nullptr;
  QLabel* model_ = nullptr;
  QLabel* packageVersion_ = nullptr;
  QLabel* currentVersionLabel_ = nullptr;
  QLabel* currentVersion_ = nullptr;
  QLabel* status_ = nullptr;
  BurningAnimation* animation_ = nullptr;

  // The status's template place, its frame's and those of the controls below it.
  QGroupBox* statusFrame_ = nullptr;
  QSize windowSize_;
  QRect statusRect_;
  QRect statusFrameRect_;
  std::vector<std::pair<QWidget*, QRect>> belowStatus_;

  std::unique_ptr<MainWindowController> controller_;
};

}  // namespace kiln::app
