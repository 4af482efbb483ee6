// The queue-hold journal on Windows: the entries live under the user's local application
// data (%LOCALAPPDATA%\Kiln\held-queues), a folder only that user and the system reach,
// so an entry found there is this user's own. A process is told apart from a later one
// with its PID by its creation time, which counts from 1601 and so differs across boots
// as well.

#include "platform/queue_hold_journal.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <random>

#include "platform/queue_hold_entry.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"

namespace kiln::platform {

namespace {

using windows::UniqueHandle;

constexpr std::wstring_view kEntrySuffix = L".hold";
// A written entry is a few hundred bytes; anything much larger is not one.
constexpr DWORD kMaxEntryBytes = 4096;

std::string RandomHex() {
  std::random_device device;
  std::string hex;
  for (int i = 0; i < 2; ++i) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(device()));
    hex += digits;
  }
  return hex;
}

// Creates the folder and the folder it is in where missing.
bool EnsureFolder(const std::wstring& folder) {
  const std::size_t slash = folder.find_last_of(L"\\/");
  if (slash != std::wstring::npos && slash > 0) {
    const std::wstring parent = folder.substr(0, slash);
    if (!::CreateDirectoryW(parent.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return false;
  }
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  // A junction or link put in its place is not the user's own folder.
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool WriteWhole(const std::wstring& path, const std::string& text) {
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size() && ::FlushFileBuffers(file.get());
}

// Reads an entry: nothing for anything but a plain file; damaged is set for a file that
// does not read as an entry.
std::optional<RecordedHold> ReadEntry(const std::wstring& path, bool& damaged) {
  damaged = false;
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid() || ::GetFileType(file.get()) != FILE_TYPE_DISK) return {};
  std::string text(kMaxEntryBytes + 1, '\0');
  DWORD length = 0;
  if (!::ReadFile(file.get(), text.data(), kMaxEntryBytes + 1, &length, nullptr)) return {};
  text.resize(length);
  RecordedHold hold;
  damaged = length > kMaxEntryBytes || !ParseHoldEntry(text, hold);
  if (damaged) return {};
  return hold;
}

unsigned long long CreationTimeOf(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

std::optional<ProcessIdentity> IdentifyProcess(ProcessId pid) {
  if (pid <= 0) return std::nullopt;
  UniqueHandle process(
      ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
  DWORD exitCode = 0;
  if (!process.valid() || !::GetExitCodeProcess(process.get(), &exitCode) ||
      exitCode != STILL_ACTIVE) {
    return std::nullopt;
  }
  const unsigned long long created = CreationTimeOf(process.get());
  if (created == 0) return std::nullopt;
  return ProcessIdentity{pid, created, {}};
}

bool StillRunning(const ProcessIdentity& process) {
  const std::optional<ProcessIdentity> now = IdentifyProcess(process.pid);
  return now && now->startTime == process.startTime;
}

QueueHoldJournal QueueHoldJournal::InLockFolder() {
  wchar_t base[MAX_PATH + 1] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
  // Without local application data there is nowhere to record: nothing is paused then.
  if (length == 0 || length >= MAX_PATH) return QueueHoldJournal(std::string());
  return QueueHoldJournal(windows::Utf8(base) + "\\Kiln\\held-queues");
}

std::string QueueHoldJournal::Record(std::string_view queue, std::string_view printServer,
                                     std::string_view reason) const {
  if (folder_.empty() || queue.empty() || reason.empty() || !PlainHoldValue(queue) ||
      !PlainHoldValue(printServer) || !PlainHoldValue(reason)) {
    return {};
  }
  const std::optional<ProcessIdentity> self = IdentifyProcess(CurrentProcessId());
  const std::wstring folder = windows::WidePath(folder_);
  if (!self || folder.empty() || !EnsureFolder(folder)) return {};
  const std::string name = std::to_string(self->pid) + "-" + RandomHex() + ".hold";
  const std::wstring entry = folder + L"\\" + windows::Wide(name);
  // Written under a name readers skip, then moved into place: an entry is there whole or
  // not at all, and the move reaches the disk before the queue is paused.
  const std::wstring temporary = folder + L"\\." + windows::Wide(name);
  if (!WriteWhole(temporary, HoldEntryText(queue, printServer, reason, *self)) ||
      !::MoveFileExW(temporary.c_str(), entry.c_str(), MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(temporary.c_str());
    return {};
  }
  return folder_ + "\\" + name;
}

void QueueHoldJournal::Remove(const std::string& entryPath) {
  if (!entryPath.empty()) ::DeleteFileW(windows::WidePath(entryPath).c_str());
}

std::vector<RecordedHold> QueueHoldJournal::FindAbandoned(std::string_view printServer) const {
  std::vector<RecordedHold> found;
  const std::wstring folder = windows::WidePath(folder_);
  if (folder.empty()) return found;
  const std::wstring pattern = folder + L"\\*";
  struct ListingCloser {
    void operator()(HANDLE listing) const { ::FindClose(listing); }
  };
  WIN32_FIND_DATAW item{};
  const HANDLE first = ::FindFirstFileW(pattern.c_str(), &item);
  if (first == INVALID_HANDLE_VALUE) return found;
  const std::unique_ptr<std::remove_pointer_t<HANDLE>, ListingCloser> listing(first);
  do {
    const std::wstring_view name = item.cFileName;
    // Entries only: not the temporary files an entry is written through, no folders or links.
    if (name.starts_with(L'.') || !name.ends_with(kEntrySuffix) ||
        (item.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
      continue;
    }
    const std::wstring path = folder + L"\\" + item.cFileName;
    bool damaged = false;
    std::optional<RecordedHold> hold = ReadEntry(path, damaged);
    if (damaged) ::DeleteFileW(path.c_str());
    if (!hold || hold->printServer != printServer || StillRunning(hold->holder)) continue;
    hold->entryPath = windows::Utf8(path);
    found.push_back(std::move(*hold));
  } while (::FindNextFileW(listing.get(), &item));
  return found;
}

}  // namespace kiln::platform
