#pragma once

#include <array>
#include <cstdint>

#include "protocol/command_codes.h"

namespace kiln::protocol {

// A command packet's header: A5, the 16-bit length field (3 + parameters + payload), the
// flag byte (answered or not), the command code, then up to three parameter bytes.
struct CommandHeader {
  std::array<uint8_t, 9> bytes{};
  uint32_t length = kHeaderLength;

  CommandHeader(uint16_t code, uint32_t parameterCount, uint8_t p1 = 0, uint8_t p2 = 0,
                uint8_t p3 = 0, uint32_t payloadLength = 0, uint8_t flag = kFlagAnswered) {
    const uint32_t lengthField = 3 + parameterCount + payloadLength;
    bytes = {kPacketStart,
             static_cast<uint8_t>(lengthField >> 8),
             static_cast<uint8_t>(lengthField & 0xFF),
             flag,
             static_cast<uint8_t>(code >> 8),
             static_cast<uint8_t>(code & 0xFF),
             p1,
             p2,
             p3};
    length = kHeaderLength + parameterCount;
  }
};

}  // namespace kiln::protocol
