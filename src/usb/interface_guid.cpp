#include "usb/interface_guid.h"

namespace kiln::usb {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hex digits from the front of text into *value and drops them.
bool TakeHex(std::string_view* text, std::size_t digits, uint64_t* value) {
  if (text->size() < digits) return false;
  *value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const int digit = HexDigit((*text)[i]);
    if (digit < 0) return false;
    *value = (*value << 4) | static_cast<uint64_t>(digit);
  }
  text->remove_prefix(digits);
  return true;
}

bool TakeDash(std::string_view* text) {
  if (text->empty() || text->front() != '-') return false;
  text->remove_prefix(1);
  return true;
}

}  // namespace

bool ParseGuid(std::string_view text, Guid* out) {
  if (text.size() >= 2 && text.front() == '{' && text.back() == '}') {
    text = text.substr(1, text.size() - 2);
  }
  uint64_t data1 = 0, data2 = 0, data3 = 0, high = 0, low = 0;
  if (!TakeHex(&text, 8, &data1) || !TakeDash(&text) || !TakeHex(&text, 4, &data2) ||
      !TakeDash(&text) || !TakeHex(&text, 4, &data3) || !TakeDash(&text) ||
      !TakeHex(&text, 4, &high) || !TakeDash(&text) || !TakeHex(&text, 12, &low) || !text.empty()) {
    return false;
  }
  Guid guid;
  guid.data1 = static_cast<uint32_t>(data1);
  guid.data2 = static_cast<uint16_t>(data2);
  guid.data3 = static_cast<uint16_t>(data3);
  const uint64_t trailing = (high << 48) | low;
  for (std::size_t i = 0; i < guid.data4.size(); ++i) {
    guid.data4[i] = static_cast<uint8_t>(trailing >> (8 * (7 - i)));
  }
  *out = guid;
  return true;
}

}  // namespace kiln::usb
