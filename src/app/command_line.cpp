#include "app/command_line.h"

#include <strings.h>

#include <limits>
#include <string>

namespace kiln::app {

namespace {

// Linux reaches a printer through usblp's node or its USB device, and lets the user choose;
// kiln.exe has one way, the system's USB printer driver.
#ifdef _WIN32
constexpr bool kTransportChoice = false;
constexpr const char* kExtensionsHeading = "Options of kiln.exe:\n";
#else
constexpr bool kTransportChoice = true;
constexpr const char* kExtensionsHeading = "Linux options:\n";
#endif
constexpr const char* kNoTransportChoice =
    "--transport is not an option of kiln.exe: it reaches printers through the system's USB "
    "printer driver";

// The decimal number at the start of text, as the original reads it: digits up to the
// first other character, 0 when there are none; saturated instead of wrapping.
uint32_t LeadingNumber(std::string_view text) {
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > std::numeric_limits<uint32_t>::max()) return std::numeric_limits<uint32_t>::max();
  }
  return static_cast<uint32_t>(value);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Handles "--name", "--name=value" and "--name value"; i moves past a consumed value.
void ApplyLinuxOption(LinuxOptions& extensions, std::span<const char* const> args, std::size_t& i) {
  std::string_view arg = args[i];
  std::string_view name = arg.substr(2);
  std::string_view value;
  bool hasValue = false;
  if (auto eq = name.find('='); eq != std::string_view::npos) {
    value = name.substr(eq + 1);
    name = name.substr(0, eq);
    hasValue = true;
  }
  auto takeValue = [&](std::string& field) {
    if (!hasValue && i + 1 < args.size()) {
      value = args[++i];
      hasValue = true;
    }
    if (hasValue) {
      field = value;
    } else if (extensions.error.empty()) {
      extensions.error = std::string(arg) + " needs a value";
    }
  };
  if (name == "dir") {
    takeValue(extensions.dir);
  } else if (name == "log-file") {
    takeValue(extensions.logFile);
  } else if (name == "log-level") {
    takeValue(extensions.logLevel);
  } else if (name == "transport" && !kTransportChoice) {
    // Taken and ignored it would let a caller believe a choice was made.
    if (extensions.error.empty()) extensions.error = kNoTransportChoice;
  } else if (name == "transport") {
    takeValue(extensions.transport);
    if (extensions.transport != "usblp" && extensions.transport != "libusb" &&
        extensions.error.empty()) {
      extensions.error = "--transport takes usblp or libusb";
    }
  } else if (name == "report-stdout" && !hasValue) {
    extensions.reportStdout = true;
  } else if (name == "progress" && !hasValue) {
    extensions.progress = true;
  } else if (name == "json" && !hasValue) {
    extensions.json = true;
  } else if (name == "history" && !hasValue) {
    extensions.history = true;
  } else if (name == "help" && !hasValue) {
    extensions.help = true;
  } else if (name == "version" && !hasValue) {
    extensions.version = true;
  } else if (extensions.error.empty()) {
    extensions.error = "unknown option " + std::string(arg);
  }
}

}  // namespace

void ApplyOption(CommandLineOptions& options, std::string_view option) {
  if (option.empty()) return;
  switch (option.front()) {
    case 'M':
    case 'm':
      options.model = LeadingNumber(option.substr(1));
      return;
    case 'S':
    case 's':
      options.silent = true;
      return;
    case 'W':
    case 'w':
      options.reportWindow = LeadingNumber(option.substr(1));
      return;
    default:
      break;
  }
  if (EqualsIgnoringCase(option, "CheckConnection")) {
    options.checkConnection = true;
  } else if (EqualsIgnoringCase(option, "CheckBinVersion")) {
    options.checkBinVersion = true;
  } else if (EqualsIgnoringCase(option, "CheckDeviceVersion")) {
    options.checkDeviceVersion = true;
  }
}

CommandLine ParseCommandLine(std::span<const char* const> args) {
  CommandLine line;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i] ? args[i] : "";
    if (arg.size() > 2 && arg.starts_with("--")) {
      ApplyLinuxOption(line.extensions, args, i);
    } else if (!arg.empty() && (arg.front() == '/' || arg.front() == '-')) {
      ApplyOption(line.options, arg.substr(1));
    }
    // Anything else is a document name: accepted and not used.
  }
  return line;
}

RunMode ChooseMode(const CommandLineOptions& options) {
  if (options.checkBinVersion || options.checkDeviceVersion) return RunMode::kVersionReport;
  if (options.silent) return RunMode::kSilentUpdate;
  return RunMode::kInteractive;
}

namespace {

// The help in parts: the transport choice exists only where there is a choice.
constexpr const char* kHelpCallerOptions =
    "Usage: kiln [OPTION]...\n"
    "Updates the firmware of the printers of the model that Kiln.ini names.\n"
    "\n"
    "Options of the calling programs (a leading '/' or '-'; letters in any case):\n"
    "  -CheckBinVersion     report the package version (message 102) and the\n"
    "  -CheckDeviceVersion  printer version (message 103); no window\n"
    "  -S                   silent update; no window (reports 101, 100, 110)\n"
    "  -M<number>           the model the caller expects (silent update)\n"
    "  -W<number>           the window that receives the report messages (an X11\n"
    "                       window id; on Windows the window's handle)\n"
    "  -CheckConnection     accepted, does nothing\n"
    "\n";
constexpr const char* kHelpFolderAndTrace =
    "  --dir DIR            the folder holding Kiln.ini and the firmware files\n"
    "                       (default: the folder of the path Kiln was started by)\n"
    "  --log-file FILE      append the debug trace to FILE (as KILN_LOG_FILE)\n"
    "  --log-level N        trace level: 1 summaries, 2 transactions, 3 transfers,\n"
    "                       5 data dumps (as KILN_LOG_LEVEL)\n";
constexpr const char* kHelpTransport =
    "  --transport T        reach printers only through usblp's nodes (usblp) or\n"
    "                       only through their USB devices (libusb); by default\n"
    "                       usblp where a printer has a node, libusb otherwise\n";
constexpr const char* kHelpOutputs =
    "  --report-stdout      also print each report as 'report <wParam> <lParam>'\n"
    "  --progress           silent update: readable progress on standard error\n"
    "  --json               after the reports, the mode's result as one JSON object\n"
    "                       on standard output (report lines then go to standard\n"
    "                       error)\n"
    "  --history            show the update history, newest first (with --json:\n"
    "                       as JSON lines)\n"
    "  --help               show this text\n"
    "  --version            show the version\n"
    "\n"
    "Exit status: 0 in every mode; a second instance ends at once, silently.\n"
    "--history: 0, or 1 when the history exists but cannot be read.\n";

}  // namespace

const char* CommandLineHelp() {
  static const std::string help = std::string(kHelpCallerOptions) + kExtensionsHeading +
                                  kHelpFolderAndTrace + (kTransportChoice ? kHelpTransport : "") +
                                  kHelpOutputs;
  return help.c_str();
}

}  // namespace kiln::app
