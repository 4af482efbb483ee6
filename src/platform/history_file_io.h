#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kiln::platform {

// The file primitives the update history needs, as each system provides them; the rules
// for appending lines and reading the tail (history_file.cpp) are written once over them.
// Each failing call gives its reason, naming the path, in error.
class HistoryFileIo {
 public:
  virtual ~HistoryFileIo() = default;
  // The file's length now.
  virtual bool Size(uint64_t& size, std::string& error) = 0;
  // Up to length bytes from offset; got is 0 at the end of the file.
  virtual bool ReadAt(uint64_t offset, char* into, std::size_t length, std::size_t& got,
                      std::string& error) = 0;
  // The bytes at the end of the file, all in one write, so that lines of runs that append
  // at the same time never interleave.
  virtual bool Append(std::string_view bytes, std::string& error) = 0;
  // Flushes what was appended to disk and closes the file.
  virtual bool SyncAndClose(std::string& error) = 0;
};

// Opens the regular file at path to append to and read, creating it (private to the
// user) and its missing folders first; a symbolic link at the file or its folder is not
// followed and anything but a regular file is refused at once. nullptr with the reason
// otherwise.
std::unique_ptr<HistoryFileIo> OpenHistoryToAppend(const std::string& path, std::string& error);

// Opens the regular file at path to read. nullptr otherwise: missing tells that there is
// no such file (then error stays empty).
std::unique_ptr<HistoryFileIo> OpenHistoryToRead(const std::string& path, bool& missing,
                                                 std::string& error);

}  // namespace kiln::platform
