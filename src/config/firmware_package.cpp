#include "config/firmware_package.h"

#include <cstring>
#include <string_view>

#include "config/firmware_version.h"
#include "models/model_table.h"
#include "platform/read_only_file.h"

namespace kiln::config {

namespace {

constexpr char kMagic[3] = {'O', 'X', ' '};
constexpr uint32_t kOtherTimeField = 8;
constexpr uint32_t kCpuTimeField = 6;
constexpr uint32_t kVersionField = 11;

uint16_t ReadBigEndian16(const uint8_t* bytes) {
  return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

bool HasHeaderAt(const uint8_t* image, uint32_t size, uint32_t offset) {
  return image != nullptr && size >= offset + kHeaderLength &&
         std::memcmp(image + offset, kMagic, sizeof kMagic) == 0;
}

std::optional<uint32_t> LocateInOrder(const uint8_t* image, uint32_t size, uint32_t first,
                                      uint32_t second) {
  if (HasHeaderAt(image, size, first)) return first;
  if (HasHeaderAt(image, size, second)) return second;
  return std::nullopt;
}

}  // namespace

bool DecodeLoadedHeader(const LoadedFile& file, bool cpuPackage, uint8_t writeType,
                        PackageHeader& header) {
  if (!file.readable()) return false;
  const std::optional<uint32_t> offset =
      cpuPackage ? LocateCpuPackageHeader(file.data(), file.size())
                 : LocatePackageHeader(file.data(), file.size(), writeType);
  if (!offset || file.size() <= *offset + kHeaderLength) return false;
  header = DecodePackageHeader(file.data(), *offset);
  return IsFirmwareVersion(header.version.view());
}

std::vector<uint32_t> PackageReadPieces(uint32_t size) {
  std::vector<uint32_t> pieces;
  for (uint32_t done = 0; done < size;) {
    const uint32_t piece = size - done < kPackageReadPiece ? size - done : kPackageReadPiece;
    pieces.push_back(piece);
    done += piece;
  }
  return pieces;
}

bool LoadPackageFile(const char* path, FirmwarePackage* package, uint32_t& size,
                     bool* changedWhileRead) {
  platform::ReadOnlyFile file(path);
  if (!file.IsOpen() || file.size() > kLargestPackageFile) return false;
  const auto length = static_cast<uint32_t>(file.size());

  if (package == nullptr) {
    size = length;
    return true;
  }
  if (package->image.size() < length) package->image.resize(length);

  uint32_t done = 0;
  for (const uint32_t piece : PackageReadPieces(length)) {
    if (!file.ReadFully(package->image.data() + done, piece)) {
      if (changedWhileRead != nullptr) *changedWhileRead = file.changed();
      return false;
    }
    done += piece;
  }
  package->size = length;
  size = length;
  return true;
}

std::optional<uint32_t> LocatePackageHeader(const uint8_t* image, uint32_t size,
                                            uint8_t writeType) {
  return writeType == 2 ? LocateInOrder(image, size, kHeaderOffsetCpu, kHeaderOffsetMain)
                        : LocateInOrder(image, size, kHeaderOffsetMain, kHeaderOffsetCpu);
}

std::optional<uint32_t> LocateCpuPackageHeader(const uint8_t* image, uint32_t size) {
  return LocateInOrder(image, size, kHeaderOffsetCpu, kHeaderOffsetMain);
}

PackageHeader DecodePackageHeader(const uint8_t* image, uint32_t offset) {
  const uint8_t* header = image + offset;
  PackageHeader decoded;
  decoded.productId = ReadBigEndian16(header + 3);
  decoded.programTime1 = ReadBigEndian16(header + kCpuTimeField);
  decoded.programTime2 = ReadBigEndian16(header + kOtherTimeField);
  const auto* text = reinterpret_cast<const char*>(header + kVersionField);
  decoded.version = std::string_view(text, strnlen(text, 4));
  return decoded;
}

std::optional<FixedText<5>> PackageVersionOf(const LoadedFile& file, uint8_t writeType) {
  PackageHeader header;
  if (!DecodeLoadedHeader(file, false, writeType, header)) return std::nullopt;
  return header.version;
}

bool VerifyBlockChecksum(const uint8_t* block, std::size_t length, uint8_t marker) {
  if (block == nullptr || length < 2) return false;
  if (block[length - 2] != marker) return false;
  uint8_t sum = 0;
  for (std::size_t i = 0; i + 1 < length; ++i) sum = static_cast<uint8_t>(sum + block[i]);
  const auto expected = static_cast<uint8_t>(0xFF - sum - marker);
  return block[length - 1] == expected;
}

}  // namespace kiln::config
