#include "app/version_text.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string>

namespace kiln::app {

namespace {

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

bool PackageOlderThanDevice(std::string_view packageVersion, std::string_view deviceVersion) {
  return config::IsFirmwareVersion(packageVersion) && config::IsFirmwareVersion(deviceVersion) &&
         CompareVersionText(config::Unpadded(packageVersion), config::ComparedPart(deviceVersion)) <
             0;
}

bool DeviceOlderThanPackage(std::string_view deviceVersion, std::string_view packageVersion) {
  return config::IsFirmwareVersion(packageVersion) && config::IsFirmwareVersion(deviceVersion) &&
         CompareVersionText(config::ComparedPart(deviceVersion), config::Unpadded(packageVersion)) <
             0;
}

double VersionAsDecimal(std::string_view version) {
  if (!config::IsFirmwareVersion(version)) return 0.0;
  // Read with a '.' whatever the locale's decimal separator is.
  while (!version.empty() && std::isspace(static_cast<unsigned char>(version.front()))) {
    version.remove_prefix(1);
  }
  double value = 0.0;
  std::from_chars(version.data(), version.data() + version.size(), value);
  return value;
}

uint32_t PackVersion(std::string_view version) {
  if (!config::IsFirmwareVersion(version)) return 0;
  const uint32_t major = LeadingNumber(version) & 0xFF;
  const std::size_t dot = version.find('.');
  const uint32_t minor =
      dot == std::string_view::npos ? major : LeadingNumber(version.substr(dot + 1)) & 0xFF;
  return major << 24 | minor << 16;
}

}  // namespace kiln::app
