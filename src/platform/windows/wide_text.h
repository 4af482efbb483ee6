#pragma once

#include <string>
#include <string_view>

// Kiln's paths and texts are UTF-8; Windows takes file names in UTF-16 through its wide
// (W) functions, so names outside the ANSI code page work.
namespace kiln::platform::windows {

// UTF-16 of UTF-8 text (invalid sequences become U+FFFD).
std::wstring Wide(std::string_view utf8);
// UTF-8 of UTF-16 text.
std::string Utf8(std::wstring_view utf16);
// From this length on, the ordinary file functions refuse a path (folders end at 248).
inline constexpr std::size_t kLongPathFrom = 248;

// A path for the wide file functions: UTF-16 with every '/' written as '\'; a path of
// kLongPathFrom characters or more as a whole verbatim path (\\?\ or \\?\UNC\), which
// they take at any length.
std::wstring WidePath(std::string_view utf8Path);

}  // namespace kiln::platform::windows
