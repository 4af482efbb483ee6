#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/main_window_view.h"
#include "app/mode_record.h"
#include "config/package_files.h"
#include "config/update_context.h"
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
};

// One whole update, from the first download to the re-read version: the alternative
// file set or the CPU firmware when configured, then the normal firmware with the
// chosen colour table. Runs on its own thread; every change on screen is handed to the
// window's thread and waited for. The window has already set busy and disabled its
// buttons; Run leaves busy to the window and enables the buttons again at its end.
class UpdateWorker {
 public:
  // Shows a status text; runs on the window's thread.
  using StatusShow = std::function<void(const char* text)>;

  // files are the package's files as loaded when START was pressed: every step sends
  // from them. texts is the worker's own copy of the language texts, so the window thread
  // may keep using its own while the update runs. Status texts go to showStatus, or
  // straight to the view without it.
  // writeHistory, when given, receives what became of each printer once the update has
  // ended; a history that cannot be written is only a warning.
  UpdateWorker(UpdateContext& context, config::PackageFiles files, const i18n::LanguageFile& texts,
               const char* languageTag, MainWindowView& view, usb::LinkFactory links,
               platform::Clock& clock, StatusShow showStatus = {}, HistoryWriter writeHistory = {});
  WorkerOutcome Run();

 private:
  // The alternative file set for a printer that answered as the fall-back model.
  void WriteAlternativeSet();
  // The CPU firmware; on success the visible ten-second wait. False on failure.
  bool WriteCpuFirmware();
  bool WriteNormalFirmware();
  static protocol::FlashRequest Request(uint32_t openModel, uint32_t reopenModel, uint8_t writeType,
                                        uint32_t waitSeconds, bool waitForRestart);
  bool Flash(protocol::FlashRequest request);
  void WriteHistory();
  // The two texts a blank line apart; a non-empty cause follows on a line of its own,
  // after its lead-in.
  void ShowTexts(const i18n::TextKey& first, const i18n::TextKey& second,
                 std::string_view cause = {});
  void ShowText(const i18n::TextKey& key);
  void Show(const char* text);

  UpdateContext& context_;
  config::PackageFiles files_;
  std::string lastStatus_;
  std::string failure_;  // why the last step failed, as the download said it
  i18n::LanguageFile texts_;
  MainWindowView& view_;
  usb::LinkFactory links_;
  platform::Clock& clock_;
  StatusShow showStatus_;
  HistoryWriter writeHistory_;
  ModeRecord record_;  // each printer's outcome, for the update history
};

}  // namespace kiln::app
