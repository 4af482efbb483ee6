#pragma once

#include <cstddef>
#include <string_view>

namespace kiln::config {

// Firmware versions are compared by their first four characters only ("1.07a" counts as
// "1.07"), as texts, character by character without regard to case.
inline constexpr std::size_t kComparedVersionCharacters = 4;

// The version text without the blanks and zero bytes that pad it in a header or an
// answer: "1.1 " and "1.1\0" state the same version as "1.1".
std::string_view Unpadded(std::string_view version);

// The part of a version text that takes part in comparisons: its first four characters,
// padding ignored.
std::string_view ComparedPart(std::string_view version);

// Whether a text states a version as packages and printers do: a number, optionally a
// full stop and a number, then at most letters, digits and full stops ("1.07", "1.0a",
// "1.07b2", "2"); trailing blanks are ignored. A text that starts with anything else
// (blanks, "zz.q", bytes outside ASCII, "N/A") or holds such bytes later states no
// version: it is never compared, packed or accepted as a package's version.
bool IsFirmwareVersion(std::string_view text);

// <0, 0 or >0 as a is smaller than, equal to or greater than b (whole texts, as texts,
// without regard to case).
int CompareVersionText(std::string_view a, std::string_view b);

// Whether a printer's revision text states this version (compared parts equal, padding
// of either ignored).
bool StatesVersion(std::string_view revision, std::string_view version);

}  // namespace kiln::config
