#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/fixed_text.h"

namespace kiln::protocol {

inline constexpr std::size_t kCardStatusRecordSize = 16;
inline constexpr std::size_t kStatusRecordSize = 32;
inline constexpr std::size_t kQuery8001RecordSize = 8;

// The printer's product information (answer of 0x0100), texts cut to their limits.
struct ProductInfo {
  FixedText<64> productName;
  FixedText<24> productRev;
  FixedText<27> thirdText;
  uint16_t value = 0;
};

// Decoders of answer data. Each reads only the bytes the answer holds; a byte the
// printer did not send reads as 0, so a short answer never reads out of bounds.

// The status record of 0x8000 into record (16 bytes for card printers, else 32);
// returns the record's size.
std::size_t DecodeStatusRecord(const uint8_t* answer, std::size_t length, bool cardPrinter,
                               uint8_t* record);

ProductInfo DecodeProductInfo(const uint8_t* answer, std::size_t length);

}  // namespace kiln::protocol
