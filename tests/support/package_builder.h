#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kiln::testing {

// Bytes of a firmware package with an "OX " header at headerOffset.
inline std::string MakePackage(std::size_t size, uint32_t headerOffset, uint16_t productId,
                               uint16_t programTime1, uint16_t programTime2,
                               std::string_view version, char fill = '\x5A') {
  std::string bytes(size, fill);
  if (headerOffset + 15 > size) return bytes;
  char* header = bytes.data() + headerOffset;
  std::memcpy(header, "OX ", 3);
  header[3] = static_cast<char>(productId >> 8);
  header[4] = static_cast<char>(productId & 0xFF);
  header[6] = static_cast<char>(programTime1 >> 8);
  header[7] = static_cast<char>(programTime1 & 0xFF);
  header[8] = static_cast<char>(programTime2 >> 8);
  header[9] = static_cast<char>(programTime2 & 0xFF);
  std::memcpy(header + 11, version.data(), version.size() < 4 ? version.size() : 4);
  return bytes;
}

}  // namespace kiln::testing
