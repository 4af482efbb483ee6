#pragma once

#include <cstdint>
#include <vector>

namespace kiln::protocol {

// Firmware bytes as they were loaded, with the regions one printer receives in their
// place (the merged colour table, its own device data block) laid over them. Neither the
// loaded bytes nor the patches are copied: each piece is assembled as it goes out, so an
// update holds its image once however many printers it sends it to. The loaded bytes and
// every patch must outlive the object.
class PatchedImage {
 public:
  PatchedImage() = default;
  PatchedImage(const uint8_t* bytes, uint32_t length) : bytes_(bytes), length_(length) {}

  uint32_t size() const { return length_; }
  // Lays length bytes over the image at offset, as far as they fit in it; where patches
  // overlap, the one laid last is sent.
  void Lay(uint32_t offset, const uint8_t* bytes, uint32_t length);
  // The bytes of [offset, offset + length), which must lie in the image: the loaded bytes
  // themselves where no patch touches them, otherwise assembled in scratch (grown once to
  // the largest such piece).
  const uint8_t* Piece(uint32_t offset, uint32_t length, std::vector<uint8_t>& scratch) const;

 private:
  struct Patch {
    uint32_t offset;
    const uint8_t* bytes;
    uint32_t length;
  };
  const uint8_t* bytes_ = nullptr;
  uint32_t length_ = 0;
  std::vector<Patch> patches_;
};

}  // namespace kiln::protocol
