#pragma once

#include <string>
#include <vector>

#include "sim/printer_config.h"

namespace kiln::sim {

// The command line of kiln-testbed:
//   kiln-testbed [--printer DESC]... [--transcript FILE] [--help] [--version] -- COMMAND [ARGS...]
// Without --printer the test bed holds one M07 printer. Printer i gets the USB serial
// number KLN000000<i+1> unless its DESC names one.
struct LauncherOptions {
  std::vector<VirtualPrinterConfig> printers;
  std::string transcriptPath;  // empty: no transcript
  std::vector<std::string> command;
  bool help = false;
  bool version = false;
};

// False with error set on a malformed command line (unknown option, bad printer
// description, missing COMMAND).
bool ParseLauncherArgs(const std::vector<std::string>& args, LauncherOptions& options,
                       std::string& error);

// The --help text.
std::string LauncherUsage();

}  // namespace kiln::sim
