#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kiln::i18n {

// The length of the well-formed UTF-8 character that starts text at at (1 to 4 bytes);
// 0 when the bytes there are no such character (a stray continuation byte, a cut or
// over-long sequence, a surrogate, a code point above U+10FFFF).
std::size_t Utf8CharacterLength(std::string_view text, std::size_t at);

// Text from outside Kiln (folder and file names, the update history, what a printer
// answers) as it may be printed on a terminal: each character that could move the
// cursor, start an escape sequence or reorder the text after it becomes one '?'. Those
// are the C0 controls (line breaks and tabs among them), DEL, the C1 controls
// (U+0080-U+009F), the bidirectional marks, embeddings, overrides and isolates (U+200E,
// U+200F, U+202A-U+202E, U+2066-U+2069), and each byte that is not part of well-formed
// UTF-8. Every other character, in any script, is kept.
std::string TerminalSafe(std::string_view text);

}  // namespace kiln::i18n
