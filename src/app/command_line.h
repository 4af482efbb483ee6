#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kiln::app {

// The options of the original command line: a parameter beginning with '/' or '-' is
// an option, classified by its first letter (M, S, W) or matched whole against the
// three named options without regard to case.
struct CommandLineOptions {
  bool checkConnection = false;     // accepted, selects nothing
  bool silent = false;              // S...: silent update
  bool checkBinVersion = false;     // version report
  bool checkDeviceVersion = false;  // version report
  uint32_t model = 0;               // M<number>: the model the caller expects
  uint32_t reportWindow = 0;        // W<number>: the caller's window for report messages
};

// Options beginning with "--": the Linux additions, handled before the original rules.
struct LinuxOptions {
  std::string dir;            // --dir DIR: the program folder instead of the executable's
  std::string logFile;        // --log-file FILE: the debug log (as KILN_LOG_FILE)
  std::string logLevel;       // --log-level N: the debug log's level (as KILN_LOG_LEVEL)
  std::string transport;      // --transport usblp|libusb: reach printers only that way
  bool reportStdout = false;  // --report-stdout: each report also as a line on stdout
  bool progress = false;      // --progress: readable progress of the silent update on stderr
  bool json = false;          // --json: the mode's result as one JSON object on stdout
  bool history = false;       // --history: show the update history (with --json: JSON lines)
  bool help = false;          // --help
  bool version = false;       // --version
  std::string error;          // the first "--" option that is unknown or lacks its value
};

struct CommandLine {
  CommandLineOptions options;
  LinuxOptions extensions;
};

enum class RunMode { kInteractive, kVersionReport, kSilentUpdate };

// Applies one original option, its leading '/' or '-' already removed.
void ApplyOption(CommandLineOptions& options, std::string_view option);

// Parses the parameters after the program name. Parameters that are not options are
// document names, which the program accepts and does not use.
CommandLine ParseCommandLine(std::span<const char* const> args);

// The mode the options choose: a version check wins over the silent update, which wins
// over the window.
RunMode ChooseMode(const CommandLineOptions& options);

// The --help text.
const char* CommandLineHelp();

}  // namespace kiln::app
