#include "protocol/command_codes.h"

#include <algorithm>
#include <array>

namespace kiln::protocol {

namespace {
constexpr std::array<uint16_t, 8> kSplitCommands = {0x0304, 0x8300, 0x8304, 0x8308,
                                                    0x8309, 0x850A, 0xE001, 0xE002};
constexpr std::array<uint16_t, 13> kOneParameter = {0x8400, 0x8405, 0xE000, 0x8306, 0x040C,
                                                    0x8500, 0xE02E, 0xE02F, 0xE030, 0x030F,
                                                    0x8001, 0x830A, 0x800B};
constexpr std::array<uint16_t, 9> kTwoParameters = {0x8407, 0xE038, 0x8503, 0x8502, 0xE0FE,
                                                    0xE102, 0x8408, 0xE00D, 0xE008};

template <std::size_t N>
bool Contains(const std::array<uint16_t, N>& codes, uint16_t code) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}
}  // namespace

bool IsSplitCommand(uint16_t code) {
  return Contains(kSplitCommands, code);
}

uint32_t ParameterCountFor(uint16_t code, uint8_t parameter1, uint8_t parameter2) {
  if (Contains(kOneParameter, code)) return 1;
  if (Contains(kTwoParameters, code)) return 2;
  if (parameter1 == 0) return 0;
  return parameter2 == 0 ? 1 : 2;
}

}  // namespace kiln::protocol
