#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/main_window_view.h"
#include "app/mode_record.h"
#include "app/plan_executor.h"
#include "app/printer_queries.h"
#include "app/update_plan.h"
#include "config/model_entry.h"
#include "config/package.h"
#include "i18n/language_file.h"
#include "platform/clock.h"
#include "protocol/firmware_download.h"
#include "usb/link_factory.h"

namespace kiln::app {

// How an update ended, for what the window does afterwards.
struct WorkerOutcome {
  bool firmwareWritten = false;  // the normal firmware's download succeeded
  // A large-model printer took its firmware: the window shows the closing notice and
  // the program ends.
  bool endProgram = false;
  std::string lastStatus;  // the last status text the update showed
  // The printer's version as read again after the update; none when it was not read.
  std::optional<VersionText> deviceVersion;
};

// What the window hands the worker when it starts an update.
struct WorkerHandover {
  config::ModelEntry entry;  // the model entry as START read it
  // The package as START read and checked it, with its files: the bytes the update sends.
  config::Package package;
  // The printer as the window found it: it is asked its version again when it answers as
  // the fall-back model, and once more at the update's end.
  PrinterState printer;
  // Whether a stop was asked for (platform::StopRequested in the window): the step under
  // way ends, with its printers checked, and no further step or printer's transfer starts.
  protocol::StopRequest stopRequested;
};

// One whole update in the window, on its own thread: the printer's version asked afresh
// where the plan depends on it, the plan made and run by the plan executor, and each of its
// steps shown in the window's texts. Every change on screen is handed to the window's
// thread and waited for. The window has already set busy and disabled its buttons; Run
// leaves busy to the window and enables the buttons again at its end.
class UpdateWorker final : private PlanEvents {
 public:
  // Shows a status text; runs on the window's thread.
  using StatusShow = std::function<void(const char* text)>;

  // texts is the worker's own copy of the language texts, so the window thread may keep
  // using its own while the update runs. The download's notifications go to observer.
  // Status texts go to showStatus, or straight to the view without it. writeHistory, when
  // given, receives what became of each printer a download began for once the update has
  // ended; a history that cannot be written is only a warning.
  UpdateWorker(WorkerHandover handover, const i18n::LanguageFile& texts, const char* languageTag,
               MainWindowView& view, usb::LinkFactory links, platform::Clock& clock,
               DownloadObserver* observer, StatusShow showStatus = {},
               HistoryWriter writeHistory = {});
  WorkerOutcome Run();

 private:
  // The plan for the printer as it answers now.
  UpdatePlan Plan();
  // PlanEvents: each step's texts before and after it, the visible count, the warnings.
  void OnStepStarts(const PlanStep& step) override;
  void OnStepEnded(const PlanStep& step, const protocol::FlashResult& result) override;
  void OnWaitSecond(int left) override;
  void OnHistoryNotWritten(const std::string& reason) override;
  VersionDisplay* VersionShownOn() override { return &versionDisplay_; }

  // The two texts a blank line apart; a non-empty cause follows on a line of its own,
  // after its lead-in.
  void ShowTexts(const i18n::TextKey& first, const i18n::TextKey& second,
                 std::string_view cause = {});
  void ShowText(const i18n::TextKey& key);
  void Show(const char* text);

  // The version field, written on the window's thread as every other control.
  class WindowThreadDisplay final : public VersionDisplay {
   public:
    explicit WindowThreadDisplay(MainWindowView& view) : view_(view) {}
    void ShowCurrentVersion(const char* text) override;
    bool IsInitialised() const override { return true; }

   private:
    MainWindowView& view_;
  };

  WorkerHandover handover_;
  std::string lastStatus_;
  i18n::LanguageFile texts_;
  MainWindowView& view_;
  WindowThreadDisplay versionDisplay_;
  PlanServices services_;
  DownloadObserver* observer_;
  StatusShow showStatus_;
};

}  // namespace kiln::app
