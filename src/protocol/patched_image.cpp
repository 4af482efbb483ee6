#include "protocol/patched_image.h"

#include <algorithm>
#include <cstring>

namespace kiln::protocol {

void PatchedImage::Lay(uint32_t offset, const uint8_t* bytes, uint32_t length) {
  if (offset >= length_ || length == 0) return;
  patches_.push_back({offset, bytes, std::min(length, length_ - offset)});
}

const uint8_t* PatchedImage::Piece(uint32_t offset, uint32_t length,
                                   std::vector<uint8_t>& scratch) const {
  const uint32_t end = offset + length;
  const auto touches = [&](const Patch& patch) {
    return patch.offset < end && offset < patch.offset + patch.length;
  };
  if (std::none_of(patches_.begin(), patches_.end(), touches)) return bytes_ + offset;
  if (scratch.size() < length) scratch.resize(length);
  std::memcpy(scratch.data(), bytes_ + offset, length);
  for (const Patch& patch : patches_) {
    if (!touches(patch)) continue;
    const uint32_t from = std::max(offset, patch.offset);
    const uint32_t to = std::min(end, patch.offset + patch.length);
    std::memcpy(scratch.data() + (from - offset), patch.bytes + (from - patch.offset), to - from);
  }
  return scratch.data();
}

}  // namespace kiln::protocol
