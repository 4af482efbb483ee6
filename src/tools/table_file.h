#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The table file: three table images (CVD, heating table, colour table) at fixed
// offsets in one 0x24800-byte file, each region sealed by a checksum byte. The colour
// tables that the Setting dialog lists and that an update merges are such files.
namespace kiln::tools {

struct TableRegion {
  std::size_t offset;
  std::size_t length;
  const char* name;
};

inline constexpr std::size_t kTableFileSize = 0x24800;
inline constexpr TableRegion kCvdRegion{0x00000, 0x800, "CVD"};
inline constexpr TableRegion kHeatingRegion{0x00800, 0x20000, "heating table"};
inline constexpr TableRegion kColourRegion{0x20800, 0x4000, "colour table"};

// Makes the region's bytes add up to 0 modulo 256: its last byte becomes the two's
// complement of the 8-bit sum of the others. Returns the byte written.
uint8_t SealRegion(uint8_t* start, std::size_t length);

struct TableInputs {
  std::string cvd;
  std::string heating;
  std::string colour;
};

enum class CombineError {
  kNone,
  kCannotOpenInput,    // path: the input that could not be read
  kInputTooLong,       // path: the input, region: the region it would overrun
  kCannotWriteOutput,  // path: the output
};

struct CombineResult {
  CombineError error = CombineError::kNone;
  std::string path;
  const TableRegion* region = nullptr;
};

// Reads the three inputs completely, places each at its region's offset (zero-filled
// to the region's end), seals the regions and writes the image to output through a
// temporary file and a rename. The output may be one of the inputs. On any failure no
// file is created or changed.
CombineResult CombineTableFile(const TableInputs& inputs, const std::string& output);

inline constexpr std::size_t kTableVersionLength = 7;

// The 7-character version text of a table file: the bytes 8 before its end (9 for
// model serial number 22), cut at the first zero byte. Empty when the file cannot be
// read, is no regular file (a FIFO is refused without waiting) or is too short to hold
// it.
std::string ReadTableVersion(const std::string& path, uint32_t modelSerial);

}  // namespace kiln::tools
