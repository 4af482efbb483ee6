#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

namespace kiln::protocol {

// A fixed-size byte buffer that starts zeroed. It comes from calloc, which hands out large
// blocks as fresh pages that are already zero: a protocol object then costs only the pages
// its commands touch, not a clear of its whole quarter-megabyte buffers each time one is made.
template <std::size_t N>
class ZeroedBuffer {
 public:
  ZeroedBuffer() : bytes_(static_cast<uint8_t*>(std::calloc(N, 1))) {
    if (bytes_ == nullptr) throw std::bad_alloc();
  }

  uint8_t* data() { return bytes_.get(); }
  const uint8_t* data() const { return bytes_.get(); }
  uint8_t* begin() { return bytes_.get(); }
  uint8_t* end() { return bytes_.get() + N; }
  static constexpr std::size_t size() { return N; }

 private:
  struct Free {
    void operator()(uint8_t* bytes) const { std::free(bytes); }
  };
  std::unique_ptr<uint8_t[], Free> bytes_;
};

}  // namespace kiln::protocol
