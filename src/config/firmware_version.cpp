#include "config/firmware_version.h"

#include <cctype>

namespace kiln::config {

namespace {

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool IsLetter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x80 && std::isalpha(byte) != 0;
}

}  // namespace

std::string_view Unpadded(std::string_view version) {
  while (!version.empty() && (version.back() == ' ' || version.back() == '\0')) {
    version.remove_suffix(1);
  }
  return version;
}

std::string_view ComparedPart(std::string_view version) {
  return Unpadded(version).substr(0, kComparedVersionCharacters);
}

bool IsFirmwareVersion(std::string_view text) {
  text = Unpadded(text);
  std::size_t i = 0;
  while (i < text.size() && IsDigit(text[i])) ++i;
  if (i == 0) return false;
  if (i < text.size() && text[i] == '.') {
    const std::size_t minor = ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i == minor) return false;
  }
  while (i < text.size() && (IsLetter(text[i]) || IsDigit(text[i]) || text[i] == '.')) ++i;
  return i == text.size();
}

int CompareVersionText(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const int x = std::tolower(static_cast<unsigned char>(a[i]));
    const int y = std::tolower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool StatesVersion(std::string_view revision, std::string_view version) {
  return CompareVersionText(ComparedPart(revision), ComparedPart(version)) == 0;
}

}  // namespace kiln::config
