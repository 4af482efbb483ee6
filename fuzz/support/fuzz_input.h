#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kiln::fuzz {

// Takes a fuzzer's input apart front to back. Reading past the end yields zeros and
// empty texts, so every target runs to its end on any input.
class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return at_ >= size_; }
  std::size_t Remaining() const { return at_ < size_ ? size_ - at_ : 0; }

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  bool Bool() { return (Byte() & 1) != 0; }
  uint16_t U16() { return static_cast<uint16_t>(Byte() << 8 | Byte()); }
  uint32_t U32() { return static_cast<uint32_t>(U16()) << 16 | U16(); }

  // Up to count bytes as they come.
  std::string_view Bytes(std::size_t count) {
    const std::size_t n = count < Remaining() ? count : Remaining();
    std::string_view taken(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return taken;
  }
  // A text whose length is given by the next byte.
  std::string Text() { return std::string(Bytes(Byte())); }
  std::string_view Rest() { return Bytes(Remaining()); }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace kiln::fuzz
