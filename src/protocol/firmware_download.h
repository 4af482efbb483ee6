#pragma once

#include <cstdint>
#include <string>

#include "config/package_files.h"
#include "config/update_context.h"
#include "platform/clock.h"
#include "protocol/download_observer.h"
#include "protocol/printer_outcome.h"
#include "protocol/update_queue_hold.h"
#include "usb/link_factory.h"

namespace kiln::protocol {

// One firmware package to download to every connected printer of a model. Its files are
// the bytes loaded when the update started: nothing is read from disk here.
struct FlashRequest {
  uint32_t openModel = 0;    // model under which the printers are found before the download
  uint32_t reopenModel = 0;  // model under which they come back after programming
  config::LoadedFile image;
  config::LoadedFile colourTable;  // table file to merge into the image; none when not named
  config::LoadedFile code, table;  // a large model's code and table files
  uint8_t writeType = 0;           // 0 whole, 1 except backup, 2 CPU code
  uint32_t waitSeconds = 0;        // count-down after the download
  bool waitForRestart = false;     // wait for the printers to come back and confirm them
  // The version each printer must report once it is back, where its version can be read:
  // the version of the package this step sends. Empty: the version is not checked.
  std::string expectedVersion;
  // Asks each printer its version just before its firmware goes out, for the caller's
  // record (PrinterOutcome::versionBefore): one more question on the channel already open.
  bool readVersionBefore = false;
};

// The update itself: loads the package, merges the chosen table, sends the image (or,
// for large models, the three files) to every connected printer of the model, counts
// down the programming time, then reconnects to each printer and checks its status,
// where its device data block was kept that the block came back unchanged, and that it
// now reports the expected version. While the
// firmware is written, the print queues of each printer are held (holdQueues) so that
// no print job takes the printer away. Notifications go to context.notifyWindow. True
// only when every printer found was updated and passed its check.
class FirmwareDownload {
 public:
  FirmwareDownload(UpdateContext& context, usb::LinkFactory makeLink = usb::DefaultLinkFactory(),
                   QueueHolder holdQueues = SystemQueueHolder());
  bool FlashFirmware(const FlashRequest& request);
  // The same, and what became of each printer found, in the order they were found:
  // failed (the sentence of resultText about it), sent (not checked afterwards: NotWaitBurnOK,
  // or the check was not reached), updated, or not-sent.
  bool FlashFirmware(const FlashRequest& request, std::vector<PrinterOutcome>& outcomes);

 private:
  // One notification per second of the programming time (plus 190 s for open model 5
  // when waiting for the restart), then the end mark; only when the count-down is shown
  // and the update is not silent.
  void CountDown(platform::Clock& clock, const FlashRequest& request);
  void Notify(uint32_t kind, uint32_t value);
  void Progress(DownloadObserver::Stage stage);

  UpdateContext& context_;
  usb::LinkFactory makeLink_;
  QueueHolder holdQueues_;
};

}  // namespace kiln::protocol
