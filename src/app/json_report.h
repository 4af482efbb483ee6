#pragma once

#include <string>

#include "app/mode_record.h"

namespace kiln::app {

// The --json object of a command-line mode, on one line: mode, package, printers,
// reports and result (see kiln(1)).
std::string ModeJson(const ModeRecord& record);

}  // namespace kiln::app
