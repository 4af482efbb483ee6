#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "app/mode_record.h"

namespace kiln::app {

// A history larger than this is shown from its newest entries only: --history reads no
// more, however large the file has grown.
inline constexpr uint64_t kHistoryReadLimit = 4 * 1024 * 1024;
// A line longer than this is no line Kiln wrote: it counts as damaged and is not parsed.
inline constexpr std::size_t kHistoryLineLimit = 16 * 1024;
// Each text field of a line Kiln writes takes at most this many bytes, quotes and escapes
// included; a longer one is cut and ends with an ellipsis (U+2026), and the line's "cut"
// field names it. Six long texts and the rest of a line stay within kHistoryLineLimit.
inline constexpr std::size_t kHistoryFieldLimit = 2 * 1024;

// $XDG_STATE_HOME/kiln/history.jsonl (default ~/.local/state/kiln/history.jsonl); empty
// when the user's state folder is unknown.
std::string UpdateHistoryPath();

// The history lines of an update, one per printer it addressed: time (UTC), package file
// and its SHA-256, then the printer's fields (see kiln(1)); "cut" when a text was cut to
// kHistoryFieldLimit.
std::vector<std::string> UpdateHistoryLines(const ModeRecord& record, std::time_t moment);

// Appends the update's lines to the history file and syncs it; an empty text on success,
// the reason otherwise. An update that addressed no printer writes nothing.
std::string AppendUpdateHistory(const ModeRecord& record, const std::string& path);

// AppendUpdateHistory on the user's history (UpdateHistoryPath); a failure is also noted
// in the debug trace. The writer both the silent update and the window use.
std::string WriteUserHistory(const ModeRecord& record);

// kiln --history: the entries newest first, as a table or (json) as JSON lines, on out;
// a damaged line is skipped with a warning on err. Returns the exit status: 0, or 1
// when the history exists but cannot be read.
int ShowUpdateHistory(const std::string& path, bool json, std::FILE* out, std::FILE* err);

}  // namespace kiln::app
