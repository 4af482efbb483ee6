#include "platform/history_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/linux/unique_fd.h"

namespace kiln::platform {

namespace {

constexpr mode_t kPrivateFolder = 0700;
constexpr mode_t kPrivateFile = 0600;

std::string Reason(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// Creates every missing folder of path's parent, as mkdir -p does.
bool MakeParentFolders(const std::string& path, std::string& error) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), kPrivateFolder) != 0 && errno != EEXIST) {
      error = Reason("cannot create", folder);
      return false;
    }
  }
  return true;
}

}  // namespace

std::string UserStateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') return state;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/state";
  return {};
}

bool AppendLinesDurably(const std::string& path, const std::vector<std::string>& lines,
                        std::string& error) {
  if (!MakeParentFolders(path, error)) return false;
  const std::size_t slash = path.rfind('/');
  const std::string folderPath =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // Neither the file nor its own folder is followed when it is a link: the lines would go
  // into, or create, whatever the link names.
  UniqueFd folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.get() < 0) {
    error = errno == ELOOP || errno == ENOTDIR
                ? "not a folder (a link is not followed): " + folderPath
                : Reason("cannot open", folderPath);
    return false;
  }
  // O_NONBLOCK: a FIFO is refused at once instead of waiting for a reader. Read as well:
  // the last byte tells whether the file ends with a whole line.
  UniqueFd file(::openat(folder.get(), name.c_str(),
                         O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                         kPrivateFile));
  struct stat status {};
  if (file.get() < 0 && errno != ELOOP && errno != ENXIO) {
    error = Reason("cannot open", path);
    return false;
  }
  if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    error = "not a regular file (a link is not followed): " + path;
    return false;
  }
  // A line left without its end (a write cut short by a full disk) would swallow the first
  // new line: that one then starts on a line of its own, in the same single write.
  bool damagedTail = false;
  if (status.st_size > 0) {
    char last = '\n';
    if (::pread(file.get(), &last, 1, status.st_size - 1) != 1) {
      error = Reason("cannot read", path);
      return false;
    }
    damagedTail = last != '\n';
  }
  for (const std::string& line : lines) {
    const std::string withEnd = (damagedTail ? "\n" : "") + line + '\n';
    damagedTail = false;
    const ssize_t written = ::write(file.get(), withEnd.data(), withEnd.size());
    if (written != static_cast<ssize_t>(withEnd.size())) {
      if (written >= 0) errno = ENOSPC;
      error = Reason("cannot write", path);
      return false;
    }
  }
  if (::fsync(file.get()) != 0) {
    error = Reason("cannot sync", path);
    return false;
  }
  if (!file.Close()) {
    error = Reason("cannot close", path);
    return false;
  }
  return true;
}

bool ReadFileTail(const std::string& path, uint64_t limit, FileTail& tail) {
  tail = FileTail{};
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.get() < 0) {
    tail.missing = errno == ENOENT;
    if (!tail.missing) tail.error = Reason("cannot open", path);
    return false;
  }
  struct stat status {};
  if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    tail.error = "not a regular file: " + path;
    return false;
  }
  const auto size = static_cast<uint64_t>(status.st_size);
  const uint64_t start = size > limit ? size - limit : 0;
  tail.cut = start > 0;
  tail.text.resize(static_cast<std::size_t>(size - start));
  std::size_t done = 0;
  while (done < tail.text.size()) {
    const ssize_t got = ::pread(file.get(), tail.text.data() + done, tail.text.size() - done,
                                static_cast<off_t>(start + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      tail.error = Reason("cannot read", path);
      return false;
    }
    if (got == 0) break;  // the file shrank meanwhile
    done += static_cast<std::size_t>(got);
  }
  tail.text.resize(done);
  return true;
}

std::tm UtcTime(std::time_t moment) {
  std::tm utc{};
  gmtime_r(&moment, &utc);
  return utc;
}

}  // namespace kiln::platform
