#include "app/update_history.h"

#include <algorithm>
#include <array>

#include "app/json_fields.h"
#include "i18n/terminal_text.h"
#include "log/debug_log.h"
#include "platform/history_file.h"

namespace kiln::app {

namespace {

constexpr const char* kHistoryFile = "/kiln/history.jsonl";

std::string UtcText(std::time_t moment) {
  const std::tm utc = platform::UtcTime(moment);
  std::array<char, 32> text{};
  std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text.data();
}

// A field of an entry as a table cell: "-" for null or missing, safe for a terminal (the
// names come from outside, and the file may have been edited by hand).
std::string Cell(const OrderedJson& entry, const char* field) {
  const auto found = entry.find(field);
  if (found == entry.end() || found->is_null()) return "-";
  const std::string text = found->is_string() ? found->get<std::string>() : JsonLine(*found);
  return text.empty() ? "-" : i18n::TerminalSafe(text);
}

// The text as a JSON string of at most kHistoryFieldLimit bytes: cut after its longest
// beginning of whole characters that fits with the ellipsis that marks the cut. cut is
// set when it was cut.
OrderedJson BoundedText(std::string_view text, bool& cut) {
  cut = false;
  if (text.empty()) return nullptr;
  if (JsonLine(std::string(text)).size() <= kHistoryFieldLimit) return std::string(text);
  cut = true;
  constexpr std::string_view kEllipsis = "\u2026";
  std::size_t room = kHistoryFieldLimit - 2 - kEllipsis.size();  // the quotes and the mark
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t length = std::max<std::size_t>(i18n::Utf8CharacterLength(text, end), 1);
    // What the character takes in the line, escaped (a control byte takes six).
    const std::size_t written = JsonLine(std::string(text.substr(end, length))).size() - 2;
    if (written > room) break;
    room -= written;
    end += length;
  }
  return std::string(text.substr(0, end)) + std::string(kEllipsis);
}

// The entries of the history text, oldest first; damaged lines are counted by their
// number in the text read.
std::vector<OrderedJson> ParseEntries(std::string_view text, bool cut,
                                      std::vector<std::size_t>& damaged) {
  std::vector<OrderedJson> entries;
  std::size_t number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    // What precedes the first line break of a cut read is the end of an older line.
    if (number == 1 && cut) continue;
    if (line.empty()) continue;
    OrderedJson entry;
    if (line.size() <= kHistoryLineLimit) {
      entry = OrderedJson::parse(line, nullptr, false);
    }
    if (!entry.is_object()) {
      damaged.push_back(number);
      continue;
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace

std::string UpdateHistoryPath() {
  const std::string state = platform::UserStateFolder();
  return state.empty() ? std::string() : state + kHistoryFile;
}

std::vector<std::string> UpdateHistoryLines(const ModeRecord& record, std::time_t moment) {
  std::vector<std::string> lines;
  const std::string time = UtcText(moment);
  for (const protocol::PrinterOutcome& printer : record.printers) {
    OrderedJson entry;
    entry["time"] = time;
    entry["package"] = record.package ? TextOrNull(record.package->file) : OrderedJson(nullptr);
    entry["sha256"] = record.package ? TextOrNull(record.package->sha256) : OrderedJson(nullptr);
    AddPrinterFields(entry, printer);
    // Every line is one --history reads back: each text is bounded, and the line names
    // the fields that were cut.
    OrderedJson cutFields = OrderedJson::array();
    for (auto& [name, value] : entry.items()) {
      if (!value.is_string()) continue;
      bool cut = false;
      value = BoundedText(value.get<std::string>(), cut);
      if (cut) cutFields.push_back(name);
    }
    if (!cutFields.empty()) entry["cut"] = std::move(cutFields);
    lines.push_back(JsonLine(entry));
  }
  return lines;
}

std::string AppendUpdateHistory(const ModeRecord& record, const std::string& path) {
  if (path.empty()) return "no folder for it: neither XDG_STATE_HOME nor HOME is set";
  const std::vector<std::string> lines = UpdateHistoryLines(record, std::time(nullptr));
  if (lines.empty()) return {};
  std::string error;
  return platform::AppendLinesDurably(path, lines, error) ? std::string() : error;
}

int ShowUpdateHistory(const std::string& path, bool json, std::FILE* out, std::FILE* err) {
  platform::FileTail tail;
  if (!platform::ReadFileTail(path, kHistoryReadLimit, tail)) {
    if (tail.missing || path.empty()) return 0;  // no update has been recorded yet
    std::fprintf(err, "kiln: the update history cannot be read: %s\n",
                 i18n::TerminalSafe(tail.error).c_str());
    return 1;
  }
  if (tail.cut) {
    std::fprintf(err,
                 "kiln: warning: the update history is larger than %llu bytes: only its "
                 "newest entries are shown\n",
                 static_cast<unsigned long long>(kHistoryReadLimit));
  }
  std::vector<std::size_t> damaged;
  const std::vector<OrderedJson> entries = ParseEntries(tail.text, tail.cut, damaged);
  for (std::size_t number : damaged) {
    std::fprintf(err, "kiln: warning: %s: line %zu%s is damaged and skipped\n",
                 i18n::TerminalSafe(path).c_str(), number, tail.cut ? " of the part read" : "");
  }
  if (!json) {
    std::fprintf(out, "%-20s  %-10s  %-12s  %-5s  %-7s  %-7s  %-8s  %s\n", "TIME", "LOCATION",
                 "SERIAL", "MODEL", "BEFORE", "AFTER", "OUTCOME", "PACKAGE / TEXT");
  }
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
    if (json) {
      std::fprintf(out, "%s\n", JsonLine(*entry).c_str());
      continue;
    }
    std::fprintf(out, "%-20s  %-10s  %-12s  %-5s  %-7s  %-7s  %-8s  %s\n",
                 Cell(*entry, "time").c_str(), Cell(*entry, "location").c_str(),
                 Cell(*entry, "serial").c_str(), Cell(*entry, "model").c_str(),
                 Cell(*entry, "version_before").c_str(), Cell(*entry, "version_after").c_str(),
                 Cell(*entry, "outcome").c_str(), Cell(*entry, "package").c_str());
    if (Cell(*entry, "text") != "-")
      std::fprintf(out, "%22s%s\n", "", Cell(*entry, "text").c_str());
  }
  return 0;
}

std::string WriteUserHistory(const ModeRecord& record) {
  const std::string error = AppendUpdateHistory(record, UpdateHistoryPath());
  if (!error.empty()) {
    log::DebugLog trace;
    if (trace.OpenFromEnvironment()) {
      trace.LogPrint(1, "Warning: the update history could not be written: %s\n", error.c_str());
    }
  }
  return error;
}

}  // namespace kiln::app
