#include "protocol/image_patching.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "config/firmware_package.h"
#include "models/model_table.h"

namespace kiln::protocol {

namespace {

struct MergeRange {
  uint32_t tableOffset;
  uint32_t length;
  uint32_t imageOffset;
};

constexpr std::array<MergeRange, 1> kSingleBlockLayout = {{{0, 0x4000, 0x4D000}}};
constexpr std::array<MergeRange, 3> kThreeBlockLayout = {{
    {config::kCvdBlockOffset, config::kCvdBlockSize, 0x2E000},
    {config::kHeatingTableOffset, config::kHeatingTableSize, 0x30000},
    {config::kColourTableOffset, config::kColourTableSize, 0x64000},
}};

constexpr uint8_t kBlockHeaderMarks[] = {0x50, 0x51};

// Answer byte of the status record that says whether a data block is held.
bool HoldsDeviceBlock(const uint8_t* answer, uint32_t length, uint32_t connectedModel) {
  const uint32_t at = models::IsCardPrinter(connectedModel) ? 3 : 19;
  return at < length && (answer[at] & 0x10) != 0;
}

}  // namespace

bool MergeTableFile(const config::LoadedFile& table, const std::string& imagePath,
                    std::vector<uint8_t>& image, uint32_t targetModel, FixedText<512>& failure) {
  const char* tablePath = table.path.c_str();
  if (!table.readable()) {
    failure.Format("Table file %s cannot be read.", tablePath);
    return false;
  }
  const uint32_t tableSize = table.size();

  const bool single = models::QuirksOf(targetModel).singleBlockTable;
  const MergeRange* begin = single ? kSingleBlockLayout.data() : kThreeBlockLayout.data();
  const MergeRange* end = begin + (single ? kSingleBlockLayout.size() : kThreeBlockLayout.size());
  const MergeRange& last = *(end - 1);
  const uint32_t tableNeeded = last.tableOffset + last.length;
  const uint32_t imageNeeded = last.imageOffset + last.length;
  if (tableSize < tableNeeded) {
    failure.Format("Table file %s is %u bytes; it must hold at least %u bytes.", tablePath,
                   tableSize, tableNeeded);
    return false;
  }
  if (image.size() < imageNeeded) {
    failure.Format("Firmware file %s is %zu bytes; merging a table file needs %u bytes.",
                   imagePath.c_str(), image.size(), imageNeeded);
    return false;
  }
  for (const MergeRange* range = begin; range != end; ++range) {
    std::memcpy(image.data() + range->imageOffset, table.data() + range->tableOffset,
                range->length);
  }
  return true;
}

std::vector<uint8_t> ReadDeviceBlock(CPrnCmd& prn, uint32_t connectedModel) {
  uint8_t record[kStatusRecordSize];
  if (prn.DoCmdGetData(cmd::kStatusRecord, record, sizeof record) != usb::ResultCode::kAnswered) {
    return {};
  }
  const uint8_t* answer = nullptr;
  uint32_t answerLength = 0;
  prn.GetResponseData(&answer, &answerLength);
  if (answer == nullptr || !HoldsDeviceBlock(answer, answerLength, connectedModel)) return {};

  if (prn.DoCommand(cmd::kBlockReadStart) != usb::ResultCode::kAnswered) return {};
  const uint8_t mark = prn.GetResponseHeader()[3];
  if (std::find(std::begin(kBlockHeaderMarks), std::end(kBlockHeaderMarks), mark) ==
      std::end(kBlockHeaderMarks)) {
    return {};
  }

  std::vector<uint8_t> block;
  while (prn.DoCommand(cmd::kBlockReadNext) == usb::ResultCode::kAnswered) {
    const uint8_t* piece = nullptr;
    uint32_t pieceLength = 0;
    prn.GetResponseData(&piece, &pieceLength);
    if (piece == nullptr || pieceLength == 0) break;
    // A block larger than any the printer may hold is not trusted: drop it.
    if (block.size() + pieceLength > DeviceBlockSize(connectedModel)) return {};
    block.insert(block.end(), piece, piece + pieceLength);
  }
  return block;
}

std::vector<uint8_t> PreserveDeviceBlock(CPrnCmd& prn, std::vector<uint8_t>& image,
                                         uint32_t openModel, uint32_t connectedModel) {
  std::vector<uint8_t> block = ReadDeviceBlock(prn, connectedModel);
  const uint32_t offset = DeviceBlockOffset(openModel);
  const auto length = static_cast<uint32_t>(block.size());
  if (block.empty() ||
      !config::VerifyBlockChecksum(block.data(), length, config::kDeviceBlockMarker) ||
      image.size() < static_cast<std::size_t>(offset) + length) {
    return {};
  }
  std::copy(block.begin(), block.end(), image.begin() + offset);
  return block;
}

}  // namespace kiln::protocol
