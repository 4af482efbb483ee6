#include "platform/path_join.h"

namespace kiln::platform {

namespace {

// A part of a path as Windows opens it outside a verbatim path: trailing dots and blanks
// dropped, except from "." and "..", which name folders.
std::string_view AsOpened(std::string_view part) {
  if (part == "." || part == "..") return part;
  while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.remove_suffix(1);
  return part;
}

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
  // The folder as given, as on Linux: a separator at its end is not dropped.
  std::string path(folder);
  path += '\\';
  for (;;) {
    const std::size_t end = name.find_first_of("\\/");
    path += AsOpened(name.substr(0, end));
    if (end == std::string_view::npos) break;
    path += '\\';
    name.remove_prefix(end + 1);
  }
  return path;
}

}  // namespace kiln::platform
