#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/app_session.h"
#include "app/main_window_controller.h"
#include "app/main_window_view.h"
#include "app/window_task_queue.h"
#include "app/windows/window_resources.h"

namespace kiln::app::windows {

// The download notification the firmware download sends to the main window.
inline constexpr UINT kDownloadNotification = 0x5500;

// What the window is built with besides the session.
struct WindowOptions {
  WindowServices services;
  // The language section to show instead of the user's language; empty for the user's.
  std::string languageTag;
  // The animation played while an update runs.
  int animationResource = IDR_BURNING;
};

// The main window: dialog template 102 over the controller. It shows what the controller
// tells it and hands it the user's input, device changes and the download notifications;
// other threads reach it through a task queue woken by a posted message.
class MainWindow final : public MainWindowView {
 public:
  MainWindow(AppSession& session, WindowOptions options);
  // Serves an update or evaluation still running until it has ended.
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Shows the window and runs it until it closes; Kiln.ini is looked for in programFolder
  // once the window is on screen.
  void Run(const std::string& programFolder);

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

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void Initialise();
  void OnCommand(int id, int code);
  // Exit, Esc and the close box: closes unless the controller refuses.
  void RequestExit();
  void CloseNow();
  void OnStopRequested();
  void ShowAbout();
  void ChangeColourMode();
  void PaintMinimised();
  void SetText(int id, const char* bytes);
  // A status longer than its template height grows downwards, its frame, the controls
  // below it and the window with it (as far as the screen allows); a shorter one brings
  // the template layout back. Placed in dialog units, so a new monitor's scale holds too.
  void FitStatus();
  void EnableControl(int id, bool enable);
  // A control that loses its enabled state or visibility while it has the focus hands the
  // focus on, so the keyboard keeps working.
  void KeepFocusUsable();

  AppSession& session_;
  WindowOptions options_;
  std::string programFolder_;
  HWND dialog_ = nullptr;
  std::atomic<HWND> wakeTarget_ = nullptr;
  HICON icon_ = nullptr;
  HICON smallIcon_ = nullptr;
  HDEVNOTIFY deviceNotification_ = nullptr;
  HWND statusFrame_ = nullptr;  // the group box around the status
  bool initialised_ = false;
  // Declared before the controller, which joins the worker's thread when it goes.
  WindowTaskQueue tasks_;
  std::unique_ptr<MainWindowController> controller_;
};

}  // namespace kiln::app::windows
