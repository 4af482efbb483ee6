// Appending to the update history and reading its tail, over each system's primitives.

#include "platform/history_file.h"

#include "platform/history_file_io.h"

namespace kiln::platform {

bool AppendLinesDurably(const std::string& path, const std::vector<std::string>& lines,
                        std::string& error) {
  const std::unique_ptr<HistoryFileIo> file = OpenHistoryToAppend(path, error);
  if (!file) return false;
  // A line left without its end (a write cut short by a full disk) would swallow the first
  // new line: that one then starts on a line of its own, in the same single write.
  bool damagedTail = false;
  uint64_t size = 0;
  if (!file->Size(size, error)) return false;
  if (size > 0) {
    char last = '\n';
    std::size_t got = 0;
    if (!file->ReadAt(size - 1, &last, 1, got, error)) return false;
    damagedTail = got == 1 && last != '\n';
  }
  for (const std::string& line : lines) {
    const std::string withEnd = (damagedTail ? "\n" : "") + line + '\n';
    damagedTail = false;
    if (!file->Append(withEnd, error)) return false;
  }
  return file->SyncAndClose(error);
}

bool ReadFileTail(const std::string& path, uint64_t limit, FileTail& tail) {
  tail = FileTail{};
  const std::unique_ptr<HistoryFileIo> file = OpenHistoryToRead(path, tail.missing, tail.error);
  uint64_t size = 0;
  if (!file || !file->Size(size, tail.error)) return false;
  const uint64_t start = size > limit ? size - limit : 0;
  tail.cut = start > 0;
  tail.text.resize(static_cast<std::size_t>(size - start));
  std::size_t done = 0;
  while (done < tail.text.size()) {
    std::size_t got = 0;
    if (!file->ReadAt(start + done, tail.text.data() + done, tail.text.size() - done, got,
                      tail.error)) {
      return false;
    }
    if (got == 0) break;  // the file shrank meanwhile
    done += got;
  }
  tail.text.resize(done);
  return true;
}

}  // namespace kiln::platform
