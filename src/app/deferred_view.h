#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/main_window_view.h"

namespace kiln::app {

// What a state evaluation shows, kept while it runs off the window's thread and shown on
// the window in one go, in the order it was asked for, once the evaluation has ended.
// The window keeps showing what it had meanwhile.
class DeferredView final : public MainWindowView {
 public:
  // window: the real window, which hands tasks to its thread; initialised: its state
  // when the evaluation began.
  DeferredView(MainWindowView& window, bool initialised)
      : window_(window), initialised_(initialised) {}

  // Shows everything kept on view, on the window's thread.
  void Replay(MainWindowView& view) const;

  void ShowStatus(const char* text) override { KeepText(&MainWindowView::ShowStatus, text); }
  void ShowModelName(const char* text) override { KeepText(&MainWindowView::ShowModelName, text); }
  void ShowPackageVersion(const char* text) override {
    KeepText(&MainWindowView::ShowPackageVersion, text);
  }
  void ShowCurrentVersion(const char* text) override {
    KeepText(&MainWindowView::ShowCurrentVersion, text);
  }
  bool IsInitialised() const override { return initialised_; }
  void EnableStart(bool enable) override { KeepFlag(&MainWindowView::EnableStart, enable); }
  void EnableExit(bool enable) override { KeepFlag(&MainWindowView::EnableExit, enable); }
  void EnableColourMode(bool enable) override {
    KeepFlag(&MainWindowView::EnableColourMode, enable);
  }
  void ShowColourModeButton(bool show) override {
    KeepFlag(&MainWindowView::ShowColourModeButton, show);
  }
  void PlayAnimation(bool play) override { KeepFlag(&MainWindowView::PlayAnimation, play); }
  void ShowErrorBox(const char* text) override { KeepText(&MainWindowView::ShowErrorBox, text); }
  void ShowNoticeBox(const char* text) override { KeepText(&MainWindowView::ShowNoticeBox, text); }
  void CloseWindow() override {
    kept_.emplace_back([](MainWindowView& view) { view.CloseWindow(); });
  }
  void RunOnWindowThread(const std::function<void()>& task) override {
    window_.RunOnWindowThread(task);
  }
  void PostToWindowThread(std::function<void()> task) override {
    window_.PostToWindowThread(std::move(task));
  }

 private:
  void KeepText(void (MainWindowView::*show)(const char*), const char* text);
  void KeepFlag(void (MainWindowView::*show)(bool), bool value);

  MainWindowView& window_;
  bool initialised_;
  std::vector<std::function<void(MainWindowView&)>> kept_;
};

}  // namespace kiln::app
