// The update history's file: appended with FILE_APPEND_DATA, one WriteFile per line, so
// lines of runs that append at the same time never interleave.

#include "platform/history_file.h"

#include <windows.h>

#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"

namespace kiln::platform {

using windows::UniqueHandle;

namespace {

std::string Reason(const char* what, const std::string& path, DWORD error) {
  return std::string(what) + " " + path + ": Windows error " + std::to_string(error);
}

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

// Creates every missing folder of path's parent, as mkdir -p does. The root ("C:\",
// "\\server\share\") is never created.
bool MakeParentFolders(const std::wstring& path, std::string& error) {
  std::size_t start = 1;
  if (path.size() > 2 && path[1] == L':') start = 3;
  if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // \\server\share: the share is the root.
    start = path.find_first_of(L"\\/", 2);
    start = start == std::wstring::npos ? path.size() : path.find_first_of(L"\\/", start + 1);
    if (start == std::wstring::npos) return true;
    start += 1;
  }
  for (std::size_t slash = path.find_first_of(L"\\/", start); slash != std::wstring::npos;
       slash = path.find_first_of(L"\\/", slash + 1)) {
    const std::wstring folder = path.substr(0, slash);
    if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
      error = Reason("cannot create", windows::Utf8(folder), ::GetLastError());
      return false;
    }
  }
  return true;
}

bool IsLinkOrNotFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0;
}

std::string EnvironmentFolder(const wchar_t* name) {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD length = ::GetEnvironmentVariableW(name, buffer, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return {};
  return windows::Utf8(std::wstring_view(buffer, length));
}

}  // namespace

std::string UserStateFolder() {
  // The user's local application data (not roaming: the history belongs to this machine).
  std::string folder = EnvironmentFolder(L"LOCALAPPDATA");
  if (folder.empty()) folder = EnvironmentFolder(L"APPDATA");
  return folder;
}

bool AppendLinesDurably(const std::string& path, const std::vector<std::string>& lines,
                        std::string& error) {
  const std::wstring wide = windows::WidePath(path);
  if (!MakeParentFolders(wide, error)) return false;
  if (IsLinkOrNotFile(wide)) {
    error = "not a regular file (a link is not followed): " + path;
    return false;
  }
  UniqueHandle file(::CreateFileW(wide.c_str(), FILE_APPEND_DATA | GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) {
    error = Reason("cannot open", path, ::GetLastError());
    return false;
  }
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
    error = "not a regular file: " + path;
    return false;
  }
  // A line left without its end (a write cut short by a full disk) would swallow the first
  // new line: that one then starts on a line of its own, in the same single write.
  bool damagedTail = false;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) {
    error = Reason("cannot read", path, ::GetLastError());
    return false;
  }
  if (size.QuadPart > 0) {
    OVERLAPPED at{};
    const auto lastByte = static_cast<uint64_t>(size.QuadPart - 1);
    at.Offset = static_cast<DWORD>(lastByte);
    at.OffsetHigh = static_cast<DWORD>(lastByte >> 32);
    char last = '\n';
    DWORD got = 0;
    if (!::ReadFile(file.get(), &last, 1, &got, &at) || got != 1) {
      error = Reason("cannot read", path, ::GetLastError());
      return false;
    }
    damagedTail = last != '\n';
  }
  for (const std::string& line : lines) {
    const std::string withEnd = (damagedTail ? "\n" : "") + line + '\n';
    damagedTail = false;
    DWORD written = 0;
    if (!::WriteFile(file.get(), withEnd.data(), static_cast<DWORD>(withEnd.size()), &written,
                     nullptr) ||
        written != withEnd.size()) {
      error = Reason("cannot write", path, ::GetLastError());
      return false;
    }
  }
  if (!::FlushFileBuffers(file.get())) {
    error = Reason("cannot sync", path, ::GetLastError());
    return false;
  }
  if (!file.Close()) {
    error = Reason("cannot close", path, ::GetLastError());
    return false;
  }
  return true;
}

bool ReadFileTail(const std::string& path, uint64_t limit, FileTail& tail) {
  tail = FileTail{};
  const std::wstring wide = windows::WidePath(path);
  UniqueHandle file(::CreateFileW(wide.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD code = ::GetLastError();
    tail.missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    if (!tail.missing) tail.error = Reason("cannot open", path, code);
    return false;
  }
  LARGE_INTEGER size{};
  if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileSizeEx(file.get(), &size)) {
    tail.error = "not a regular file: " + path;
    return false;
  }
  const auto total = static_cast<uint64_t>(size.QuadPart);
  const uint64_t start = total > limit ? total - limit : 0;
  tail.cut = start > 0;
  tail.text.resize(static_cast<std::size_t>(total - start));
  LARGE_INTEGER from{};
  from.QuadPart = static_cast<LONGLONG>(start);
  if (!::SetFilePointerEx(file.get(), from, nullptr, FILE_BEGIN)) {
    tail.error = Reason("cannot read", path, ::GetLastError());
    return false;
  }
  std::size_t done = 0;
  while (done < tail.text.size()) {
    DWORD got = 0;
    const std::size_t left = tail.text.size() - done;
    if (!::ReadFile(file.get(), tail.text.data() + done,
                    static_cast<DWORD>(left > 0x10000000u ? 0x10000000u : left), &got, nullptr)) {
      tail.error = Reason("cannot read", path, ::GetLastError());
      return false;
    }
    if (got == 0) break;  // the file shrank meanwhile
    done += got;
  }
  tail.text.resize(done);
  return true;
}

std::tm UtcTime(std::time_t moment) {
  std::tm utc{};
  ::gmtime_s(&utc, &moment);
  return utc;
}

}  // namespace kiln::platform
