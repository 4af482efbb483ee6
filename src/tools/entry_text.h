#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Kiln.ini holds bytes: UTF-8, or a Windows code page where a language needs one. The
// dialogs show such bytes as text (UTF-8 here) and, when the user leaves a text as it
// was, write the original bytes back, so that saving never damages a value the user did
// not touch.
namespace kiln::tools {

// Valid UTF-8 as it is; anything else read as Latin-1, so that every byte shows.
std::string ShownText(std::string_view bytes);

// A text becomes one line of Kiln.ini: each line break (CR, LF or CR LF), tab or zero
// character the user typed or pasted becomes a single space.
std::string OneLine(std::string_view text);

// The bytes to store for a text shown over original: original itself when the text is
// still what it showed, else the text on one line.
std::string StoredBytes(std::string_view shown, std::string_view original);

// At most limit bytes; UTF-8 text is cut before the character that would not fit whole.
std::string CutBytes(std::string bytes, std::size_t limit);

}  // namespace kiln::tools
