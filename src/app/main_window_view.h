#pragma once

#include <functional>

#include "app/printer_queries.h"

namespace kiln::app {

// What the main window's controller and the update worker show. The window implements
// it; every method is called on the window's thread. Work on other threads (an
// evaluation, the update worker's events) reaches the window only through the controller,
// which hands it over with RunOnWindowThread (it waits until the task has run there) and
// PostToWindowThread (it does not wait).
class MainWindowView : public VersionDisplay {
 public:
  // The status control (1001): bytes of the language section, one to three lines.
  virtual void ShowStatus(const char* text) = 0;
  // The model control (1003) and the New Version control (1004).
  virtual void ShowModelName(const char* text) = 0;
  virtual void ShowPackageVersion(const char* text) = 0;
  virtual void EnableStart(bool enable) = 0;
  virtual void EnableExit(bool enable) = 0;
  virtual void EnableColourMode(bool enable) = 0;
  virtual void ShowColourModeButton(bool show) = 0;
  // The burning animation (1002) while an update runs.
  virtual void PlayAnimation(bool play) = 0;
  // A modal box with an OK button, captioned "Error" / "Notice"; returns when closed.
  virtual void ShowErrorBox(const char* text) = 0;
  virtual void ShowNoticeBox(const char* text) = 0;
  // Closes the window as Exit does, after the current event has been handled.
  virtual void CloseWindow() = 0;

  // Runs task on the window's thread and returns when it has run (or when the window
  // is gone and it never will).
  virtual void RunOnWindowThread(const std::function<void()>& task) = 0;
  // Queues task for the window's thread and returns at once.
  virtual void PostToWindowThread(std::function<void()> task) = 0;
};

}  // namespace kiln::app
