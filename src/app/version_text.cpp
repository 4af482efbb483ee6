#include "app/version_text.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string>

namespace kiln::app {

namespace {

std::string_view FirstFour(std::string_view text) {
  return text.substr(0, 4);
}

// The decimal number at the start of text (blanks skipped), modulo 2^32; 0 without digits.
uint32_t LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  uint32_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + static_cast<uint32_t>(text[i] - '0');
  }
  return value;
}

}  // namespace

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

bool PackageOlderThanDevice(std::string_view packageVersion, std::string_view deviceVersion) {
  return CompareVersionText(packageVersion, FirstFour(deviceVersion)) < 0;
}

bool DeviceOlderThanPackage(std::string_view deviceVersion, std::string_view packageVersion) {
  return CompareVersionText(FirstFour(deviceVersion), packageVersion) < 0;
}

double VersionAsDecimal(std::string_view version) {
  // Read with a '.' whatever the locale's decimal separator is.
  while (!version.empty() && std::isspace(static_cast<unsigned char>(version.front()))) {
    version.remove_prefix(1);
  }
  double value = 0.0;
  std::from_chars(version.data(), version.data() + version.size(), value);
  return value;
}

uint32_t PackVersion(std::string_view version) {
  const uint32_t major = LeadingNumber(version) & 0xFF;
  const std::size_t dot = version.find('.');
  const uint32_t minor =
      dot == std::string_view::npos ? major : LeadingNumber(version.substr(dot + 1)) & 0xFF;
  return major << 24 | minor << 16;
}

}  // namespace kiln::app
