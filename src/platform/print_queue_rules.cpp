// The rules of a print queue hold that do not depend on the print system: which queues
// print to the printer, the pause reason and the warning text.

#include <algorithm>
#include <string>

#include "platform/ascii_case.h"
#include "platform/print_queue_hold.h"

namespace kiln::platform {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    decoded += text[i];
  }
  return decoded;
}

// "usb://Orvix/T08?serial=KLN0000001&interface=0": the serial parameter of the query.
bool UriNamesSerial(std::string_view uri, std::string_view serial) {
  const std::size_t query = uri.find('?');
  if (serial.empty() || query == std::string_view::npos) return false;
  std::string_view rest = uri.substr(query + 1);
  while (!rest.empty()) {
    const std::size_t end = rest.find('&');
    const std::string_view parameter = rest.substr(0, end);
    if (parameter.starts_with("serial=") && PercentDecoded(parameter.substr(7)) == serial) {
      return true;
    }
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  return false;
}

// "file:/dev/usb/lp0", "usb:///dev/usb/lp0", "parallel:/dev/usb/lp0?...": the URI's path
// is the node. A URI with a host ("usb://Orvix/...") names no node.
bool UriNamesNode(std::string_view uri, std::string_view node) {
  const std::size_t colon = uri.find(':');
  if (node.empty() || colon == std::string_view::npos) return false;
  std::string_view path = uri.substr(colon + 1);
  path = path.substr(0, path.find('?'));
  if (path.starts_with("//")) {
    if (!path.starts_with("///")) return false;
    path.remove_prefix(2);
  }
  return path == node;
}

}  // namespace

std::string KilnPauseReason(ProcessId pid) {
  return "Paused by Kiln (PID " + std::to_string(pid) + ") while it updates the printer's firmware";
}

bool QueuePrintsTo(const PrintQueue& queue, const QueuePrinter& printer) {
  return UriNamesSerial(queue.deviceUri, printer.serialNumber) ||
         UriNamesNode(queue.deviceUri, printer.nodePath) ||
         (!printer.driverName.empty() &&
          SameIgnoringAsciiCase(queue.makeAndModel, printer.driverName));
}

std::string QueueHoldWarning(const PrintQueueHold& hold) {
  // One sentence per cause: the queues the server would not pause, then those whose pause
  // the journal could not record.
  auto sentence = [](const std::vector<std::string>& queues, const std::string& reason) {
    if (queues.empty()) return std::string();
    std::string names;
    for (const std::string& queue : queues) names += names.empty() ? queue : ", " + queue;
    return (queues.size() == 1 ? "Print queue " : "Print queues ") + names +
           " could not be paused (" + reason + "): a print job may interrupt the update.";
  };
  std::vector<std::string> refused;
  for (const std::string& queue : hold.unpausedQueues()) {
    if (std::find(hold.unrecordedQueues().begin(), hold.unrecordedQueues().end(), queue) ==
        hold.unrecordedQueues().end()) {
      refused.push_back(queue);
    }
  }
  const char* reason =
      hold.result() == QueueHoldResult::kNotPermitted ? "no permission" : "print server error";
  std::string warning = sentence(refused, reason);
  const std::string unrecorded =
      sentence(hold.unrecordedQueues(),
               "the queue-hold journal " + hold.journalFolder() + " cannot be written");
  if (!warning.empty() && !unrecorded.empty()) warning += ' ';
  return warning + unrecorded;
}

}  // namespace kiln::platform
