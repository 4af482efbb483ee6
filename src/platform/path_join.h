#pragma once

#include <string>
#include <string_view>

namespace kiln::platform {

// The path of name in folder, joined with the system's own separator, so that a path is
// printed with one kind of separator and a folder given as a verbatim Windows path
// (\\?\...), which takes no '/', still leads to its files. On Windows the name is also
// written as the file the system opens for it: '/' as '\', and each part of it without
// the trailing dots and blanks Windows drops ("fw.bin." is fw.bin).
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace kiln::platform
