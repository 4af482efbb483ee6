#pragma once

#include <algorithm>
#include <string_view>

namespace kiln::platform {

// Whether two names are the same when upper- and lower-case ASCII letters count as one
// (driver names, language and territory codes); other bytes must match exactly.
inline bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace kiln::platform
