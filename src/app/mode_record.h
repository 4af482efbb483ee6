#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/package.h"
#include "protocol/firmware_download.h"
#include "protocol/printer_outcome.h"

namespace kiln::app {

// What a command-line mode found, did and reported: the --json object and the update
// history are written from it.
struct ModeRecord {
  struct Package {
    std::string file;     // the firmware file Kiln.ini names, as read
    uint32_t model = 0;   // the model the package is for
    std::string version;  // the package's version text
    std::string sha256;   // of the firmware file's bytes as read; empty when not read
  };

  const char* mode = "";           // "silent-update" or "version-report"
  std::optional<Package> package;  // none when Kiln.ini or the package failed
  std::vector<protocol::PrinterOutcome> printers;
  std::vector<std::pair<uint32_t, uint32_t>> reports;  // (wParam, lParam) as sent, in order
  std::vector<std::size_t> undelivered;  // indexes into reports the caller's window did not take
  std::string result;                    // the mode's outcome in words
  bool updateAttempted = false;          // a download began (the silent update sent 101)
};

// The package as an update read it: the firmware file Kiln.ini names, the model and
// version its header states, and the SHA-256 of the bytes loaded (empty when unread).
ModeRecord::Package PackageRecord(const config::Package& package);

// Folds what one download step did into the record's printers, by where each is plugged
// in; a printer not yet listed is added. A step that ended before it reached any printer
// (not flashed, no printers) fails every listed printer with the step's text.
void NoteStep(ModeRecord& record, const protocol::FlashResult& step);

// Once the update has ended: when the main download did not run (finished false), a
// printer that took the CPU code alone has failed.
void SettleOutcomes(ModeRecord& record, bool finished);

// The history writer of an update: an empty text on success, the reason otherwise.
using HistoryWriter = std::function<std::string(const ModeRecord&)>;

}  // namespace kiln::app
