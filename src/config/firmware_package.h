#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "config/package_files.h"
#include "platform/fixed_text.h"

namespace kiln::config {

// Where the "OX " identification header may sit in a package.
inline constexpr uint32_t kHeaderOffsetCpu = 0x40;
inline constexpr uint32_t kHeaderOffsetMain = 0x1040;
inline constexpr uint32_t kHeaderLength = 15;
// Packages are read in pieces of at most this many bytes.
inline constexpr uint32_t kPackageReadPiece = 0x100000;

// The table file as the Make BIN tool writes it: CVD block, heating table, colour table.
inline constexpr uint32_t kTableFileSize = 0x24800;
inline constexpr uint32_t kCvdBlockOffset = 0x00000;
inline constexpr uint32_t kCvdBlockSize = 0x800;
inline constexpr uint32_t kHeatingTableOffset = 0x00800;
inline constexpr uint32_t kHeatingTableSize = 0x20000;
inline constexpr uint32_t kColourTableOffset = 0x20800;
inline constexpr uint32_t kColourTableSize = 0x4000;

// Marker byte of the device data block checksum.
inline constexpr uint8_t kDeviceBlockMarker = 0x65;

// A whole package file in memory, owned by the code that loaded it.
struct FirmwarePackage {
  std::vector<uint8_t> image;
  uint32_t size = 0;
};

// The identification header's fields (big-endian in the file).
struct PackageHeader {
  uint16_t productId = 0;
  uint16_t programTime1 = 0;  // seconds, write type 2
  uint16_t programTime2 = 0;  // seconds, every other write type
  FixedText<5> version;       // four characters from header offset 11
};

// Loads a regular file whole. With no package given only the size is reported. An
// empty image is sized to the file; an image that already holds a buffer of at least
// the file's length is read into. False when the path is not a regular file that can
// be opened and read (a FIFO is refused without waiting for a writer), is larger than
// kLargestPackageFile (nothing is read then), or changed while it was read (then
// *changedWhileRead is set, when given): its bytes may be a mixture of two files.
bool LoadPackageFile(const char* path, FirmwarePackage* package, uint32_t& size,
                     bool* changedWhileRead = nullptr);

// The sizes of the pieces in which a file of this size is read.
std::vector<uint32_t> PackageReadPieces(uint32_t size);

// The header offset: the preferred one (0x40 for write type 2, else 0x1040), then the
// other; only an offset with all 15 header bytes inside the image counts.
std::optional<uint32_t> LocatePackageHeader(const uint8_t* image, uint32_t size, uint8_t writeType);
// For a CPU-code package: always 0x40 first, then 0x1040.
std::optional<uint32_t> LocateCpuPackageHeader(const uint8_t* image, uint32_t size);

// Decodes the header at offset; the caller has located it.
PackageHeader DecodePackageHeader(const uint8_t* image, uint32_t offset);

// The header of a loaded package (a CPU package's header is looked for at 0x40 first);
// false when it has none, holds nothing beyond it, or its version text states no version:
// then it is not a package.
bool DecodeLoadedHeader(const LoadedFile& file, bool cpuPackage, uint8_t writeType,
                        PackageHeader& header);

// The version a package states, when it is a package (as DecodeLoadedHeader judges it).
std::optional<FixedText<5>> PackageVersionOf(const LoadedFile& file, uint8_t writeType);

// A device data block of length bytes is valid when byte length-2 is the marker and
// the last byte is 0xFF minus the 8-bit sum of the bytes before it, minus the marker.
bool VerifyBlockChecksum(const uint8_t* block, std::size_t length, uint8_t marker);

}  // namespace kiln::config
