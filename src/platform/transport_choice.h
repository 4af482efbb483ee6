#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kiln::platform {

// Which transports Kiln may use (--transport): either, with usblp preferred where the
// printer has a node, or only the one named. Only Linux offers more than one.
enum class TransportChoice : uint8_t { kAny, kUsblp, kLibusb };

// The choice --transport set for this process; kAny unless set.
void SetTransportChoice(TransportChoice choice);
TransportChoice ProcessTransportChoice();
// "usblp" or "libusb"; nothing for any other text.
std::optional<TransportChoice> ParseTransportChoice(std::string_view text);

}  // namespace kiln::platform
