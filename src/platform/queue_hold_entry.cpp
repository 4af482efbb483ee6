#include "platform/queue_hold_entry.h"

#include <charconv>
#include <sstream>

namespace kiln::platform {

namespace {

template <typename Number>
bool ParseNumber(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

// A value that fits on one line of an entry: no control characters.
bool PlainHoldValue(std::string_view value) {
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return false;
  }
  return true;
}

std::string HoldEntryText(std::string_view queue, std::string_view server, std::string_view reason,
                          const ProcessIdentity& holder) {
  std::ostringstream text;
  text << "queue=" << queue << "\nserver=" << server << "\nreason=" << reason
       << "\npid=" << holder.pid << "\nstart=" << holder.startTime << "\nboot=" << holder.bootId
       << "\n";
  return text.str();
}

// An entry's fields, all of them present and well formed; false for anything else.
bool ParseHoldEntry(std::string_view text, RecordedHold& hold) {
  bool hasQueue = false, hasServer = false, hasReason = false, hasPid = false, hasStart = false,
       hasBoot = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return false;  // an entry ends with a line break
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    if (!PlainHoldValue(value)) return false;
    if (key == "queue") {
      hold.queue = value;
      hasQueue = !value.empty();
    } else if (key == "server") {
      hold.printServer = value;
      hasServer = true;
    } else if (key == "reason") {
      hold.reason = value;
      hasReason = !value.empty();
    } else if (key == "pid") {
      hasPid = ParseNumber(value, hold.holder.pid) && hold.holder.pid > 0;
    } else if (key == "start") {
      hasStart = ParseNumber(value, hold.holder.startTime);
    } else if (key == "boot") {
      hold.holder.bootId = value;
      hasBoot = true;
    }
  }
  return hasQueue && hasServer && hasReason && hasPid && hasStart && hasBoot;
}

}  // namespace kiln::platform
