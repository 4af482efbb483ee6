#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "config/package_files.h"
#include "platform/clock.h"
#include "platform/fixed_text.h"
#include "protocol/download_observer.h"
#include "protocol/model_facts.h"
#include "protocol/printer_outcome.h"
#include "protocol/update_queue_hold.h"
#include "usb/link_factory.h"

namespace kiln::protocol {

// One firmware package to download to every connected printer of a model, with every
// value the download needs handed in. Its files are the bytes loaded when the update
// started: nothing is read from disk here.
struct FlashRequest {
  uint32_t openModel = 0;    // model under which the printers are found before the download
  uint32_t reopenModel = 0;  // model under which they come back after programming
  // The model the update is for: a colour table is merged in its layout.
  uint32_t targetModel = 0;
  // The model the printer answered as when it was looked for: its status record's layout.
  uint32_t connectedModel = 0;
  // A large model: its packets, the three files, and a device data block kept.
  bool largeModel = false;
  std::string driverName;  // the printers' driver: the print queues that use it are held
  config::LoadedFile image;
  config::LoadedFile colourTable;  // table file to merge into the image; none when not named
  config::LoadedFile code, table;  // a large model's code and table files
  uint8_t writeType = 0;           // 0 whole, 1 except backup, 2 CPU code
  uint32_t waitSeconds = 0;        // count-down after the download
  bool waitForRestart = false;     // wait for the printers to come back and confirm them
  // The printers are not waited for once programming starts: nothing is confirmed.
  bool noWaitBurnOk = false;
  bool showCountdown = false;  // the count-down's seconds are notified (kCountdown)
  // The large-model download pauses 2 s between its files instead of waiting for the
  // printer to be ready.
  bool noWaitBusyBeforeWrite = false;
  // The version each printer must report once it is back, where its version can be read:
  // the version of the package this step sends. Empty: the version is not checked.
  std::string expectedVersion;
  // Asks each printer its version just before its firmware goes out, for the caller's
  // record (PrinterOutcome::versionBefore): one more question on the channel already open.
  bool readVersionBefore = false;
  // Whether a printer that reports this version (empty when it cannot be read) needs the
  // image. Judged on the printer's channel, with the version just read (readVersionBefore),
  // which stays open to the end of its image, so that no other program can write to it in
  // between; a printer that does not need it is left current. None: every printer needs it.
  std::function<bool(const std::string& version)> needsImage;
  // What the models above make the download do, resolved from the model table when the
  // request is made (ModelFactsFor): the download never looks a model up itself.
  ModelFacts facts;
};

// The facts of the request's models, for its facts member once its models, largeModel and
// waitForRestart are set.
inline ModelFacts ModelFactsFor(const FlashRequest& request) {
  return ModelFactsFor(request.openModel, request.connectedModel, request.targetModel,
                       request.largeModel, request.waitForRestart);
}

// What one download did: whether every printer found took the firmware and passed its
// check, what became of each printer, in the order they were found, and the sentences
// that say why the download failed (as far as they fit), for the window and the progress.
struct FlashResult {
  bool flashed = false;
  std::vector<PrinterOutcome> printers;
  FixedText<512> text;
};

// The stop signal received so far, 0 for none (platform::StopRequested where signals are
// watched).
using StopRequest = std::function<int()>;

// The update itself: merges the chosen table, sends the image (or, for large models, the
// three files) to every connected printer of the model, counts down the programming time,
// then reconnects to each printer and checks its status, where its device data block was
// kept that the block came back unchanged, and that it now reports the expected version.
// While the firmware is written, the print queues of each printer are held (holdQueues)
// so that no print job takes the printer away. Notifications go to observer (none when
// null). Printers come out as failed (with their sentence of the text), sent (not checked
// afterwards: NotWaitBurnOK, or the check was not reached), updated, or not-sent.
//
// A stop asked for (stopRequested) never cuts a printer's transfer off: once it is seen,
// no further printer's transfer starts (those printers stay not-sent and the download has
// not succeeded), while the printers that were sent to are counted down and checked as
// usual. The observer hears of it once (OnStopNoticed), also when it comes while the
// printers are reconnected.
class FirmwareDownload {
 public:
  explicit FirmwareDownload(usb::LinkFactory makeLink = usb::DefaultLinkFactory(),
                            QueueHolder holdQueues = SystemQueueHolder(),
                            StopRequest stopRequested = {});
  FlashResult FlashFirmware(const FlashRequest& request, DownloadObserver* observer) const;

 private:
  usb::LinkFactory makeLink_;
  QueueHolder holdQueues_;
  StopRequest stopRequested_;
};

}  // namespace kiln::protocol
