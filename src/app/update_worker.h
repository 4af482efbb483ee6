#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

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

// The update's one way to the window. Called on the update's thread; whoever receives
// them (the window's controller) turns each into view calls on the window's thread and
// waits for them. The download's notifications and warnings come the same way.
class WorkerEvents : public DownloadObserver {
 public:
  // The update begins: the window offers nothing to press and plays its animation until
  // the update has ended.
  virtual void OnUpdateBegins() = 0;
  // A status text of the update: the step under way or its end, the wait's seconds.
  virtual void OnUpdateStatus(const char* text) = 0;
  // The printer's version, as the update read it.
  virtual void OnVersionRead(const char* text) = 0;
  // The update's work is over: the animation stops. Its outcome is Run's value.
  virtual void OnUpdateWorkEnds() = 0;
};

// What the worker works with besides the handover.
struct WorkerServices {
  // The language texts, of which the worker keeps its own copy, so the window thread may
  // keep using its own while the update runs; the section of languageTag is used.
  const i18n::LanguageFile* texts = nullptr;
  std::string languageTag;
  usb::LinkFactory links;
  platform::Clock* clock = nullptr;
  // When given, receives what became of each printer a download began for once the
  // update has ended; a history that cannot be written is only a warning.
  HistoryWriter writeHistory;
};

// One whole update in the window, on its own thread: the printer's version asked afresh
// where the plan depends on it, the plan made and run by the plan executor, and each of its
// steps told to the window as events. The window has already set busy; Run turns its
// buttons off at the start and leaves them off: they come back with the window's own end
// of the update, which also lets Exit through (offered by Run, a click before that end
// would be dropped).
class UpdateWorker final : private PlanEvents {
 public:
  UpdateWorker(WorkerHandover handover, const WorkerServices& services, WorkerEvents& events);
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

  // The version field, reached through the events as every other control.
  class EventsDisplay final : public VersionDisplay {
   public:
    explicit EventsDisplay(WorkerEvents& events) : events_(events) {}
    void ShowCurrentVersion(const char* text) override { events_.OnVersionRead(text); }
    bool IsInitialised() const override { return true; }

   private:
    WorkerEvents& events_;
  };

  WorkerHandover handover_;
  std::string lastStatus_;
  i18n::LanguageFile texts_;
  WorkerEvents& events_;
  EventsDisplay versionDisplay_;
  PlanServices services_;
};

}  // namespace kiln::app
