#include "tools/table_file.h"

#include <cstring>

#include "models/model_table.h"
#include "platform/atomic_file.h"
#include "platform/read_only_file.h"

namespace kiln::tools {

uint8_t SealRegion(uint8_t* start, std::size_t length) {
  if (length == 0) return 0;
  uint8_t sum = 0;
  for (std::size_t i = 0; i + 1 < length; ++i) sum = static_cast<uint8_t>(sum + start[i]);
  start[length - 1] = static_cast<uint8_t>(0u - sum);
  return start[length - 1];
}

CombineResult CombineTableFile(const TableInputs& inputs, const std::string& output) {
  struct Placement {
    const std::string& path;
    const TableRegion& region;
  };
  const Placement placements[] = {
      {inputs.cvd, kCvdRegion}, {inputs.heating, kHeatingRegion}, {inputs.colour, kColourRegion}};

  std::string image(kTableFileSize, '\0');
  for (const Placement& placement : placements) {
    platform::ReadOnlyFile input(placement.path.c_str());
    if (!input.IsOpen()) return {CombineError::kCannotOpenInput, placement.path, &placement.region};
    // The size is checked before anything is read: a longer input would spill into the
    // next region or past the image, and a huge one must not be taken into memory.
    if (input.size() > placement.region.length) {
      return {CombineError::kInputTooLong, placement.path, &placement.region};
    }
    auto* into = reinterpret_cast<uint8_t*>(image.data()) + placement.region.offset;
    if (!input.ReadFully(into, static_cast<uint32_t>(input.size()))) {
      return {CombineError::kCannotOpenInput, placement.path, &placement.region};
    }
  }
  for (const TableRegion* region : {&kCvdRegion, &kHeatingRegion, &kColourRegion}) {
    SealRegion(reinterpret_cast<uint8_t*>(image.data()) + region->offset, region->length);
  }
  if (!platform::WriteFileAtomically(output.c_str(), image)) {
    return {CombineError::kCannotWriteOutput, output, nullptr};
  }
  return {};
}

std::string ReadTableVersion(const std::string& path, uint32_t modelSerial) {
  const uint64_t fromEnd = models::QuirksOf(modelSerial).tableVersionFromEnd;
  platform::ReadOnlyFile in(path.c_str());
  if (!in.IsOpen() || in.size() < fromEnd) return {};
  const uint64_t available = fromEnd < kTableVersionLength ? fromEnd : kTableVersionLength;
  uint8_t bytes[kTableVersionLength] = {};
  if (!in.ReadAt(in.size() - fromEnd, bytes, static_cast<uint32_t>(available))) return {};
  const auto* text = reinterpret_cast<const char*>(bytes);
  return std::string(text, strnlen(text, available));
}

}  // namespace kiln::tools
