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
bool HoldsDeviceBlock(const uint8_t* answer, uint32_t length, bool cardStatusRecord) {
  const uint32_t at = cardStatusRecord ? 3 : 19;
  return at < length && (answer[at] & 0x10) != 0;
}

// The facts of a download that opens and reads its printers as these models.
ModelFacts FactsOfModels(uint32_t openModel, uint32_t connectedModel) {
  return ModelFactsFor(openModel, connectedModel, openModel, false, true);
}

// The ranges of the target model's layout, once the table file and the image are known to
// hold them; none (and failure set) otherwise.
const MergeRange* TableRanges(const config::LoadedFile& table, const std::string& imagePath,
                              std::size_t imageSize, bool single, FixedText<512>& failure,
                              const MergeRange*& end) {
  const char* tablePath = table.path.c_str();
  if (!table.readable()) {
    failure.Format("Table file %s cannot be read.", tablePath);
    return nullptr;
  }
  const uint32_t tableSize = table.size();
  const MergeRange* begin = single ? kSingleBlockLayout.data() : kThreeBlockLayout.data();
  end = begin + (single ? kSingleBlockLayout.size() : kThreeBlockLayout.size());
  const MergeRange& last = *(end - 1);
  const uint32_t tableNeeded = last.tableOffset + last.length;
  const uint32_t imageNeeded = last.imageOffset + last.length;
  if (tableSize < tableNeeded) {
    failure.Format("Table file %s is %u bytes; it must hold at least %u bytes.", tablePath,
                   tableSize, tableNeeded);
    return nullptr;
  }
  if (imageSize < imageNeeded) {
    failure.Format("Firmware file %s is %zu bytes; merging a table file needs %u bytes.",
                   imagePath.c_str(), imageSize, imageNeeded);
    return nullptr;
  }
  return begin;
}

}  // namespace

bool MergeTableFile(const config::LoadedFile& table, const std::string& imagePath,
                    std::vector<uint8_t>& image, uint32_t targetModel, FixedText<512>& failure) {
  const MergeRange* end = nullptr;
  const MergeRange* begin = TableRanges(
      table, imagePath, image.size(), models::QuirksOf(targetModel).singleBlockTable, failure, end);
  if (begin == nullptr) return false;
  for (const MergeRange* range = begin; range != end; ++range) {
    std::memcpy(image.data() + range->imageOffset, table.data() + range->tableOffset,
                range->length);
  }
  return true;
}

bool LayTableFile(const config::LoadedFile& table, const std::string& imagePath,
                  PatchedImage& image, bool singleBlockTable, FixedText<512>& failure) {
  const MergeRange* end = nullptr;
  const MergeRange* begin =
      TableRanges(table, imagePath, image.size(), singleBlockTable, failure, end);
  if (begin == nullptr) return false;
  for (const MergeRange* range = begin; range != end; ++range) {
    image.Lay(range->imageOffset, table.data() + range->tableOffset, range->length);
  }
  return true;
}

std::vector<uint8_t> ReadDeviceBlock(CPrnCmd& prn, const ModelFacts& facts) {
  uint8_t record[kStatusRecordSize];
  if (prn.DoCmdGetData(cmd::kStatusRecord, record, sizeof record) != usb::ResultCode::kAnswered) {
    return {};
  }
  const uint8_t* answer = nullptr;
  uint32_t answerLength = 0;
  prn.GetResponseData(&answer, &answerLength);
  if (answer == nullptr || !HoldsDeviceBlock(answer, answerLength, facts.cardStatusRecord))
    return {};

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
    if (block.size() + pieceLength > facts.deviceBlockSize) return {};
    block.insert(block.end(), piece, piece + pieceLength);
  }
  return block;
}

std::vector<uint8_t> KeepDeviceBlock(CPrnCmd& prn, const ModelFacts& facts, uint32_t imageSize) {
  std::vector<uint8_t> block = ReadDeviceBlock(prn, facts);
  const auto length = static_cast<uint32_t>(block.size());
  if (block.empty() ||
      !config::VerifyBlockChecksum(block.data(), length, config::kDeviceBlockMarker) ||
      imageSize < static_cast<std::size_t>(facts.deviceBlockOffset) + length) {
    return {};
  }
  return block;
}

std::vector<uint8_t> PreserveDeviceBlock(CPrnCmd& prn, std::vector<uint8_t>& image,
                                         uint32_t openModel, uint32_t connectedModel) {
  const ModelFacts facts = FactsOfModels(openModel, connectedModel);
  std::vector<uint8_t> block = KeepDeviceBlock(prn, facts, static_cast<uint32_t>(image.size()));
  if (!block.empty())
    std::copy(block.begin(), block.end(), image.begin() + facts.deviceBlockOffset);
  return block;
}

}  // namespace kiln::protocol
