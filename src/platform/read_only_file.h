#pragma once

#include <sys/stat.h>

#include <cstdint>

namespace kiln::platform {

// A regular file opened for reading, closed when the object goes. Anything that is not
// a regular file (a folder, a device node, a FIFO) is not opened, and opening never
// waits: a FIFO without a writer is refused at once.
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
  // early end of the file. The read that reaches the length the file had when it was
  // opened also fails when the file has changed since (see changed()): what was read
  // may be a mixture of two files.
  bool ReadFully(uint8_t* into, uint32_t length) {
    if (!ReadAt(position_, into, length)) return false;
    position_ += length;
    return position_ < size_ || Unchanged();
  }
  // Exactly length bytes from offset, leaving the position alone; false as ReadFully.
  bool ReadAt(uint64_t offset, uint8_t* into, uint32_t length);
  // The file was written, replaced under the same descriptor, or grew or shrank while it
  // was read: its identity, size, change or modification time differ from the opening's.
  bool changed() const { return changed_; }

 private:
  bool Unchanged();

  int handle_ = -1;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  struct stat opened_ {};
#ifdef _WIN32
  uint64_t openedWriteTime_ = 0;  // the last write in 100 ns steps (stat keeps seconds)
#endif
  bool changed_ = false;
};

}  // namespace kiln::platform
