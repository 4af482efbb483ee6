#pragma once

#include <string>
#include <string_view>

#include "platform/queue_hold_journal.h"

namespace kiln::platform {

// The text of one queue-hold journal entry, the same on every system: one "key=value"
// line each for the queue, the print server, the reason and the holder's pid, start
// time and boot.

// A value that fits on one line of an entry: no control characters.
bool PlainHoldValue(std::string_view value);

std::string HoldEntryText(std::string_view queue, std::string_view server, std::string_view reason,
                          const ProcessIdentity& holder);

// An entry's fields, all of them present and well formed; false for anything else.
bool ParseHoldEntry(std::string_view text, RecordedHold& hold);

}  // namespace kiln::platform
