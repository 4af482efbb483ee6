#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/main_window_view.h"
#include "app/mode_record.h"
#include "app/printer_queries.h"
#include "app/update_plan.h"
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
  UpdatePlan plan;
  ModeRecord::Package package;  // for the update history
  // The printer as the window found it: the update's end reads its version again.
  PrinterState printer;
  // Whether a stop was asked for (platform::StopRequested in the window): the step under
  // way ends, with its printers checked, and no further step or printer's transfer starts.
  protocol::StopRequest stopRequested;
};

// One whole update, as planned: each step's download with its texts, then the re-read
// version. Runs on its own thread; every change on screen is handed to the window's thread
// and waited for. The window has already set busy and disabled its buttons; Run leaves busy
// to the window and enables the buttons again at its end.
class UpdateWorker {
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
  // One step's download with the texts before and after it; whether it succeeded.
  bool RunStep(const PlanStep& step);
  bool Flash(const protocol::FlashRequest& request);
  // The count shown after a step, a second at a time.
  void CountVisibly(int seconds);
  std::optional<VersionText> RereadVersion();
  // Whether a stop was asked for (WorkerHandover::stopRequested).
  bool StopRequested() const;
  void WriteHistory();
  // The two texts a blank line apart; a non-empty cause follows on a line of its own,
  // after its lead-in.
  void ShowTexts(const i18n::TextKey& first, const i18n::TextKey& second,
                 std::string_view cause = {});
  void ShowText(const i18n::TextKey& key);
  void Show(const char* text);

  WorkerHandover handover_;
  std::string lastStatus_;
  std::string failure_;  // why the last step failed, as the download said it
  i18n::LanguageFile texts_;
  MainWindowView& view_;
  usb::LinkFactory links_;
  platform::Clock& clock_;
  DownloadObserver* observer_;
  StatusShow showStatus_;
  HistoryWriter writeHistory_;
  ModeRecord record_;  // each printer's outcome, for the update history
};

}  // namespace kiln::app
