#pragma once

#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/main_window_view.h"
#include "app/window_task_queue.h"
#include "platform/clock.h"

namespace kiln::app {

// A window without widgets: keeps what was shown.
class RecordingView final : public MainWindowView {
 public:
  void ShowStatus(const char* text) override {
    if (std::this_thread::get_id() != windowThread_) statusOffWindowThread = true;
    Record(statuses, text);
    if (clock != nullptr) statusTimes.push_back(clock->NowMs());
  }
  void ShowModelName(const char* text) override { modelName = text; }
  void ShowPackageVersion(const char* text) override { packageVersion = text; }
  void ShowCurrentVersion(const char* text) override { Record(versions, text); }
  bool IsInitialised() const override { return true; }
  void EnableStart(bool enable) override { startEnabled = enable; }
  void EnableExit(bool enable) override {
    exitEnabled = enable;
    if (enable && onExitOffered) onExitOffered();
  }
  void EnableColourMode(bool enable) override { colourModeEnabled = enable; }
  void ShowColourModeButton(bool show) override { colourModeShown = show; }
  void PlayAnimation(bool play) override { animations.push_back(play); }
  void ShowErrorBox(const char* text) override { Record(errorBoxes, text); }
  void ShowNoticeBox(const char* text) override { Record(noticeBoxes, text); }
  void CloseWindow() override { closed = true; }
  // On the thread that made the view, a task runs at once; from any other thread it
  // waits until the test pumps it on that thread, as a window thread would.
  void RunOnWindowThread(const std::function<void()>& task) override { tasks_.RunAndWait(task); }
  void PostToWindowThread(std::function<void()> task) override { tasks_.Post(std::move(task)); }
  // Runs the waiting tasks on the calling (window) thread; false when none waited.
  bool Pump() { return tasks_.RunQueued(); }
  const std::string& LastStatus() const { return statuses.back(); }

  std::vector<std::string> statuses, versions, errorBoxes, noticeBoxes;
  std::vector<uint64_t> statusTimes;  // when each status was shown, with a clock set
  platform::Clock* clock = nullptr;
  std::function<void()> onExitOffered;  // called whenever Exit becomes pressable
  std::vector<bool> animations;
  std::string modelName, packageVersion;
  bool startEnabled = false, exitEnabled = true, colourModeEnabled = false, colourModeShown = false,
       closed = false;
  bool statusOffWindowThread = false;  // a status was shown from another thread

 private:
  static void Record(std::vector<std::string>& list, const char* text) { list.emplace_back(text); }
  std::thread::id windowThread_ = std::this_thread::get_id();
  WindowTaskQueue tasks_{nullptr};
};

}  // namespace kiln::app
