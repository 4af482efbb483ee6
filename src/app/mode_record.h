#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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
  std::string result;                                  // the mode's outcome in words
  bool updateAttempted = false;  // the silent update sent 101: a download began
};

}  // namespace kiln::app
