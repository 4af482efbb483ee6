#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kiln::usb {

// A device interface class as the device setup API names it.
struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};
  friend bool operator==(const Guid&, const Guid&) = default;
};

// The standard USB printer interface class, enumerated from Windows 2000 on.
inline constexpr const char* kUsbPrinterClassGuid = "{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}";

// Parses the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces optional,
// hex digits of either case): 8 digits, 4, 4, then 4 and 12 digits giving the eight
// trailing bytes most significant first. False, leaving *out untouched, on anything else.
bool ParseGuid(std::string_view text, Guid* out);

}  // namespace kiln::usb
