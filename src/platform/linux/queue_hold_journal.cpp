#include "platform/queue_hold_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

#include "platform/atomic_file.h"
#include "platform/linux/unique_fd.h"
#include "platform/named_mutex.h"
#include "platform/queue_hold_entry.h"

namespace kiln::platform {

namespace {

constexpr std::string_view kEntrySuffix = ".hold";
// A written entry is a few hundred bytes; anything much larger is not one.
constexpr std::size_t kMaxEntryBytes = 4096;

template <typename Number>
bool ParseNumber(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

std::string BootId() {
  static const std::string id = [] {
    std::string text;
    ReadWholeFile("/proc/sys/kernel/random/boot_id", text);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
  }();
  return id;
}

std::string RandomHex() {
  unsigned char bytes[8];
  if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return {};
  std::string hex;
  for (const unsigned char byte : bytes) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", byte);
    hex += digits;
  }
  return hex;
}

// Whether what an entry says can be believed: this user's file (root's when this process
// runs as root) that no one else may write. In the shared folder anyone can place a
// file; a hold another user claims is not this process's to end.
bool TrustedEntry(const struct stat& info) {
  return info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Reads an entry of the folder without following a symbolic link, and without waiting
// on a FIFO or device put there. Nothing for anything but a regular file, or for an
// entry not trusted; damaged is set for a trusted file that does not read as an entry.
std::optional<RecordedHold> ReadEntry(int folder, const char* name, bool& damaged) {
  damaged = false;
  UniqueFd fd(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  if (!TrustedEntry(info)) return {};
  std::string text(kMaxEntryBytes + 1, '\0');
  std::size_t length = 0;
  while (length < text.size()) {
    const ssize_t n = ::read(fd.get(), text.data() + length, text.size() - length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    length += static_cast<std::size_t>(n);
  }
  text.resize(length);
  RecordedHold hold;
  damaged = length > kMaxEntryBytes || !ParseHoldEntry(text, hold);
  if (damaged) return {};
  return hold;
}

bool TrustedJournalFolder(const std::string& folder, bool create) {
  const std::string parent = std::filesystem::path(folder).parent_path().string();
  if (create) return EnsureLockFolder(parent, true) && EnsureLockFolder(folder, true);
  return TrustedLockFolder(parent) && TrustedLockFolder(folder);
}

}  // namespace

std::optional<ProcessIdentity> IdentifyProcess(ProcessId pid) {
  if (pid <= 0) return std::nullopt;
  std::string stat;
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  if (ReadWholeFile(path.c_str(), stat) != ReadResult::kOk) return std::nullopt;
  // "pid (name) state ppid ...": the name may hold anything, so the fields are counted
  // from its closing parenthesis. The state is the first of them, the start time the
  // twentieth.
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(stat.substr(close + 1));
  std::string state;
  fields >> state;
  if (state == "Z" || state == "X") return std::nullopt;  // ended, waiting to be reaped
  std::string field;
  for (int i = 0; i < 18 && fields >> field; ++i) {
  }
  ProcessIdentity identity{pid, 0, BootId()};
  if (!(fields >> field) || !ParseNumber(std::string_view(field), identity.startTime)) {
    return std::nullopt;
  }
  return identity;
}

bool StillRunning(const ProcessIdentity& process) {
  if (process.bootId != BootId()) return false;
  const std::optional<ProcessIdentity> now = IdentifyProcess(process.pid);
  return now && now->startTime == process.startTime;
}

QueueHoldJournal QueueHoldJournal::InLockFolder() {
  return QueueHoldJournal(CurrentLockFolders().global + "/held-queues");
}

std::string QueueHoldJournal::Record(std::string_view queue, std::string_view printServer,
                                     std::string_view reason) const {
  if (queue.empty() || reason.empty() || !PlainHoldValue(queue) || !PlainHoldValue(printServer) ||
      !PlainHoldValue(reason)) {
    return {};
  }
  const std::optional<ProcessIdentity> self = IdentifyProcess(CurrentProcessId());
  const std::string unique = RandomHex();
  if (!self || unique.empty() || !TrustedJournalFolder(folder_, true)) return {};
  UniqueFd folder(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.get() < 0) return {};
  const std::string name = std::to_string(self->pid) + "-" + unique + std::string(kEntrySuffix);
  // Written under a name readers skip, then renamed: an entry is there whole or not at all.
  const std::string temporary = "." + name;
  UniqueFd fd(::openat(folder.get(), temporary.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.get() < 0) return {};
  const std::string text = HoldEntryText(queue, printServer, reason, *self);
  bool written = ::fchmod(fd.get(), 0644) == 0 &&
                 ::write(fd.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                 ::fsync(fd.get()) == 0;
  written = fd.Close() && written;
  written = written && ::renameat(folder.get(), temporary.c_str(), folder.get(), name.c_str()) == 0;
  if (!written) {
    ::unlinkat(folder.get(), temporary.c_str(), 0);
    return {};
  }
  // The rename too must outlast a power loss before the queue is paused.
  if (::fsync(folder.get()) != 0) {
    ::unlinkat(folder.get(), name.c_str(), 0);
    return {};
  }
  return folder_ + "/" + name;
}

void QueueHoldJournal::Remove(const std::string& entryPath) {
  if (!entryPath.empty()) ::unlink(entryPath.c_str());
}

std::vector<RecordedHold> QueueHoldJournal::FindAbandoned(std::string_view printServer) const {
  std::vector<RecordedHold> found;
  if (!TrustedJournalFolder(folder_, false)) return found;
  UniqueFd folder(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.get() < 0) return found;
  struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
  };
  // The listing gets a descriptor of its own: closedir closes it.
  const std::unique_ptr<DIR, DirCloser> listing(
      ::fdopendir(::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0)));
  if (!listing) return found;
  while (const dirent* item = ::readdir(listing.get())) {
    const std::string_view name = item->d_name;
    // Entries only: not the temporary files an entry is written through.
    if (name.starts_with('.') || !name.ends_with(kEntrySuffix)) continue;
    bool damaged = false;
    std::optional<RecordedHold> hold = ReadEntry(folder.get(), item->d_name, damaged);
    if (damaged) ::unlinkat(folder.get(), item->d_name, 0);
    if (!hold || hold->printServer != printServer || StillRunning(hold->holder)) continue;
    hold->entryPath = folder_ + "/" + item->d_name;
    found.push_back(std::move(*hold));
  }
  return found;
}

}  // namespace kiln::platform
