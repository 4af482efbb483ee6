#pragma once

#include <cstdint>

namespace kiln::protocol {

// Packet framing.
inline constexpr uint8_t kPacketStart = 0xA5;
inline constexpr uint8_t kFlagAnswered = 0x50;
inline constexpr uint8_t kFlagUnanswered = 0x40;
inline constexpr uint32_t kHeaderLength = 6;
inline constexpr uint32_t kResponseHeaderLength = 6;
inline constexpr uint32_t kPacketAlignment = 64;
inline constexpr uint32_t kBufferSize = 0x40000;
// The largest payload an answered data packet can carry (length field 0xFFFF).
inline constexpr uint32_t kMaxSendDataLength = 0xFFFC;
// The piece size of firmware and file data packets.
inline constexpr uint32_t kDataPieceSize = 0xFC00;

// Command codes the updater sends.
namespace cmd {
inline constexpr uint16_t kProductInfo = 0x0100;
inline constexpr uint16_t kJobReset = 0x0301;
inline constexpr uint16_t kStatusSummary = 0x0400;
inline constexpr uint16_t kAlert0403 = 0x0403;
inline constexpr uint16_t kAlert0405 = 0x0405;
inline constexpr uint16_t kAlert0406 = 0x0406;
inline constexpr uint16_t kAlert0407 = 0x0407;
inline constexpr uint16_t kAlert0408 = 0x0408;
inline constexpr uint16_t kAlert040A = 0x040A;
inline constexpr uint16_t kQuery040C = 0x040C;
inline constexpr uint16_t kStatusRecord = 0x8000;
inline constexpr uint16_t kQuery8001 = 0x8001;
inline constexpr uint16_t kColourMode = 0x8008;
inline constexpr uint16_t kFirmwareData = 0x8301;
inline constexpr uint16_t kRegisterPara = 0x8305;
inline constexpr uint16_t kFileAnnounce = 0x8306;
inline constexpr uint16_t kFileEnd = 0x8307;
inline constexpr uint16_t kFileData = 0x8308;
inline constexpr uint16_t kWriteStart = 0x8400;
inline constexpr uint16_t kWriteEnd = 0x8401;
inline constexpr uint16_t kBlockReadStart = 0x8702;
inline constexpr uint16_t kBlockReadNext = 0xE028;
}  // namespace cmd

// In the large-model send mode these commands go out as a header transfer followed by
// a payload transfer.
bool IsSplitCommand(uint16_t code);

// How many parameter bytes DoCommand3 sends for a code and its parameters (0, 1 or 2).
uint32_t ParameterCountFor(uint16_t code, uint8_t parameter1, uint8_t parameter2);

}  // namespace kiln::protocol
