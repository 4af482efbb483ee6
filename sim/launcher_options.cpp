#include "sim/launcher_options.h"

#include <cstdio>

#include "sim/printer_description.h"

namespace kiln::sim {

namespace {

constexpr const char* kDefaultPrinter = "M07";

VirtualPrinterConfig NumberedConfig(std::size_t index) {
  VirtualPrinterConfig config;
  char serial[32];
  std::snprintf(serial, sizeof serial, "KLN%07zu", index + 1);
  config.serialNumber = serial;
  return config;
}

// Takes the value of --name VALUE or --name=VALUE; false when the option is not name.
bool OptionValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
                 std::string& value, std::string& error) {
  const std::string& arg = args[i];
  if (arg.rfind(name + "=", 0) == 0) {
    value = arg.substr(name.size() + 1);
    return true;
  }
  if (arg != name) return false;
  if (i + 1 >= args.size()) {
    error = name + " needs a value";
    value.clear();
    return true;
  }
  value = args[++i];
  return true;
}

}  // namespace

std::string LauncherUsage() {
  std::string text =
      "Usage: kiln-testbed [--printer DESC]... [--transcript FILE] -- COMMAND [ARGS...]\n"
      "Runs COMMAND on a umockdev test bed holding virtual Orvix printers, each shown as a\n"
      "usblp printer (/dev/usb/lpN) or as a bare USB device served over usbfs (see\n"
      "transport= below) whose firmware is simulated, and exits with COMMAND's exit status\n"
      "(128 + signal number when it was killed by a signal).\n"
      "\n"
      "Options:\n"
      "  --printer DESC     add a printer (repeatable; default: one M07)\n"
      "  --transcript FILE  at exit, write every packet each printer received to FILE as\n"
      "                     JSON lines: printer, seq, command, flags, parameters,\n"
      "                     payloadLength, paddingBytes, paddingOk, writes, answered\n"
      "  --help             show this text\n"
      "  --version          show the version\n"
      "\n"
      "A printer that restarts (after programming, or unplugged and plugged) is removed\n"
      "with a remove uevent and added again with an add uevent under a new node name (over\n"
      "usbfs: a new device number). KILN_TESTBED_TRANSPORT=usbfs shows every printer that\n"
      "does not choose its transport over usbfs.\n"
      "kiln-testbed runs itself under umockdev-wrapper when it is not already in a umockdev\n"
      "environment.\n"
      "\n";
  text += kPrinterDescriptionHelp;
  return text;
}

bool ParseLauncherArgs(const std::vector<std::string>& args, LauncherOptions& options,
                       std::string& error) {
  options = LauncherOptions();
  error.clear();
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (OptionValue(args, i, "--printer", value, error)) {
      if (!error.empty()) return false;
      VirtualPrinterConfig config = NumberedConfig(options.printers.size());
      if (!ParsePrinterDescription(value, config, error)) {
        error.insert(0, "--printer " + value + ": ");
        return false;
      }
      options.printers.push_back(std::move(config));
    } else if (OptionValue(args, i, "--transcript", value, error)) {
      if (!error.empty()) return false;
      options.transcriptPath = value;
    } else {
      error = "unknown option \"" + arg + "\"";
      return false;
    }
  }
  options.command.assign(args.begin() + static_cast<long>(i), args.end());
  if (options.help || options.version) return true;
  if (options.command.empty()) {
    error = "no COMMAND given (put it after --)";
    return false;
  }
  if (options.printers.empty()) {
    VirtualPrinterConfig config = NumberedConfig(0);
    ParsePrinterDescription(kDefaultPrinter, config, error);
    options.printers.push_back(std::move(config));
  }
  return true;
}

}  // namespace kiln::sim
