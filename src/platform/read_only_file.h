#pragma once

#include <cstdint>
#include <optional>

namespace kiln::platform {

// What tells one state of an open file from another, as finely as the system keeps
// it: which file it is, its size, when its contents and its metadata last changed.
// Each system fills what it has; the rest stays 0.
struct FileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t changeTime = 0;  // nanoseconds, or the system's own steps
  int64_t writeTime = 0;
  bool operator==(const FileStamp&) const = default;
};

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
  // The open file's stamp now; nullopt when the system cannot say.
  std::optional<FileStamp> StampNow() const;
  bool Unchanged() {
    const std::optional<FileStamp> now = StampNow();
    changed_ = !now || *now != opened_;
    return !changed_;
  }

  int handle_ = -1;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  FileStamp opened_;
  bool changed_ = false;
};

}  // namespace kiln::platform
