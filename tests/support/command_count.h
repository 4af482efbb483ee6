#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kiln::testing {

// How many of the command codes a printer was sent are code.
inline std::size_t CountOf(const std::vector<uint16_t>& codes, uint16_t code) {
  return static_cast<std::size_t>(std::count(codes.begin(), codes.end(), code));
}

}  // namespace kiln::testing
