#pragma once

#include <cstdint>

namespace kiln::platform {

// A regular file opened for reading, closed when the object goes. Anything that is not
// a regular file (a folder, a device node) is not opened.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const char* path);
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool IsOpen() const { return handle_ >= 0; }
  // The file's length in bytes when it was opened.
  uint64_t size() const { return size_; }
  // Reads exactly length bytes from the current position; false on an error or an
  // early end of the file.
  bool ReadFully(uint8_t* into, uint32_t length);

 private:
  int handle_ = -1;
  uint64_t size_ = 0;
};

}  // namespace kiln::platform
