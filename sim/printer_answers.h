#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "sim/printer_config.h"

// The data of the printer's answers, built from its state. Each function returns the
// response data only; the 6-byte response header is added by FrameAnswer.
namespace kiln::sim::answers {

// Product information (0x0100): 33 fixed bytes, then ProductName, ProductRev and a third
// text, each preceded by its length, then a big-endian 16-bit value.
std::vector<uint8_t> ProductInformation(std::string_view productName, std::string_view revision,
                                        std::string_view thirdText, uint16_t value);

// Status summary (0x0400): the three status bytes, then reserved zero bytes.
std::vector<uint8_t> StatusSummary(const StatusBytes& status);

// Status record (0x8000), 29 bytes. The "holds a device data block" bit 0x10 sits in
// byte 19, or in byte 3 for the card printer models 20, 21, 37 and 38.
std::vector<uint8_t> StatusRecord(uint32_t model, const StatusBytes& status, bool holdsBlock);

// Alert detail (0x0403 ... 0x040A): byte 0 non-zero when an alert stands, bytes 1-3 the
// 24-bit code big-endian.
std::vector<uint8_t> AlertDetail(bool present, uint32_t code);

bool IsCardPrinter(uint32_t model);

// A whole response packet: 0xA5 (or firstByte), length 3 + data, header byte 3, the
// command code echoed in bytes 4-5, then the data.
std::vector<uint8_t> FrameAnswer(uint16_t command, uint8_t headerByte3,
                                 const std::vector<uint8_t>& data);

}  // namespace kiln::sim::answers
