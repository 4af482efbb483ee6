// The update history's file on Linux: an O_APPEND descriptor, one write per line.

#include "platform/history_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/history_file_io.h"
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

namespace {

// The history file as an open descriptor.
class FdHistoryFile final : public HistoryFileIo {
 public:
  FdHistoryFile(UniqueFd file, std::string path) : file_(std::move(file)), path_(std::move(path)) {}

  bool Size(uint64_t& size, std::string& error) override {
    struct stat status {};
    if (::fstat(file_.get(), &status) != 0) {
      error = Reason("cannot read", path_);
      return false;
    }
    size = static_cast<uint64_t>(status.st_size);
    return true;
  }

  bool ReadAt(uint64_t offset, char* into, std::size_t length, std::size_t& got,
              std::string& error) override {
    ssize_t n;
    do {
      n = ::pread(file_.get(), into, length, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      error = Reason("cannot read", path_);
      return false;
    }
    got = static_cast<std::size_t>(n);
    return true;
  }

  bool Append(std::string_view bytes, std::string& error) override {
    const ssize_t written = ::write(file_.get(), bytes.data(), bytes.size());
    if (written == static_cast<ssize_t>(bytes.size())) return true;
    if (written >= 0) errno = ENOSPC;
    error = Reason("cannot write", path_);
    return false;
  }

  bool SyncAndClose(std::string& error) override {
    if (::fsync(file_.get()) != 0) {
      error = Reason("cannot sync", path_);
      return false;
    }
    if (!file_.Close()) {
      error = Reason("cannot close", path_);
      return false;
    }
    return true;
  }

 private:
  UniqueFd file_;
  std::string path_;
};

bool IsRegularFile(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

std::unique_ptr<HistoryFileIo> OpenHistoryToAppend(const std::string& path, std::string& error) {
  if (!MakeParentFolders(path, error)) return nullptr;
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
    return nullptr;
  }
  // O_NONBLOCK: a FIFO is refused at once instead of waiting for a reader. Read as well:
  // the last byte tells whether the file ends with a whole line.
  UniqueFd file(::openat(folder.get(), name.c_str(),
                         O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                         kPrivateFile));
  if (file.get() < 0 && errno != ELOOP && errno != ENXIO) {
    error = Reason("cannot open", path);
    return nullptr;
  }
  if (file.get() < 0 || !IsRegularFile(file.get())) {
    error = "not a regular file (a link is not followed): " + path;
    return nullptr;
  }
  return std::make_unique<FdHistoryFile>(std::move(file), path);
}

std::unique_ptr<HistoryFileIo> OpenHistoryToRead(const std::string& path, bool& missing,
                                                 std::string& error) {
  missing = false;
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.get() < 0) {
    missing = errno == ENOENT;
    if (!missing) error = Reason("cannot open", path);
    return nullptr;
  }
  if (!IsRegularFile(file.get())) {
    error = "not a regular file: " + path;
    return nullptr;
  }
  return std::make_unique<FdHistoryFile>(std::move(file), path);
}

std::tm UtcTime(std::time_t moment) {
  std::tm utc{};
  gmtime_r(&moment, &utc);
  return utc;
}

}  // namespace kiln::platform
