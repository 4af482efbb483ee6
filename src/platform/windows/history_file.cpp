// The update history's file on Windows: a handle opened with FILE_APPEND_DATA, one
// WriteFile per line.

#include "platform/history_file.h"

#include <windows.h>

#include <memory>
#include <string_view>

#include "platform/history_file_io.h"
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

namespace {

// The history file as an open handle.
class HandleHistoryFile final : public HistoryFileIo {
 public:
  HandleHistoryFile(UniqueHandle file, std::string path)
      : file_(std::move(file)), path_(std::move(path)) {}

  bool Size(uint64_t& size, std::string& error) override {
    LARGE_INTEGER length{};
    if (!::GetFileSizeEx(file_.get(), &length)) {
      error = Reason("cannot read", path_, ::GetLastError());
      return false;
    }
    size = static_cast<uint64_t>(length.QuadPart);
    return true;
  }

  bool ReadAt(uint64_t offset, char* into, std::size_t length, std::size_t& got,
              std::string& error) override {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    const auto chunk = static_cast<DWORD>(length > 0x10000000u ? 0x10000000u : length);
    if (!::ReadFile(file_.get(), into, chunk, &read, &at)) {
      const DWORD code = ::GetLastError();
      // At or past the end a read with an offset fails so; it is the end of the file.
      if (code == ERROR_HANDLE_EOF) {
        got = 0;
        return true;
      }
      error = Reason("cannot read", path_, code);
      return false;
    }
    got = read;
    return true;
  }

  bool Append(std::string_view bytes, std::string& error) override {
    DWORD written = 0;
    if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) ||
        written != bytes.size()) {
      error = Reason("cannot write", path_, ::GetLastError());
      return false;
    }
    return true;
  }

  bool SyncAndClose(std::string& error) override {
    if (!::FlushFileBuffers(file_.get())) {
      error = Reason("cannot sync", path_, ::GetLastError());
      return false;
    }
    if (!file_.Close()) {
      error = Reason("cannot close", path_, ::GetLastError());
      return false;
    }
    return true;
  }

 private:
  UniqueHandle file_;
  std::string path_;
};

}  // namespace

std::unique_ptr<HistoryFileIo> OpenHistoryToAppend(const std::string& path, std::string& error) {
  const std::wstring wide = windows::WidePath(path);
  if (!MakeParentFolders(wide, error)) return nullptr;
  if (IsLinkOrNotFile(wide)) {
    error = "not a regular file (a link is not followed): " + path;
    return nullptr;
  }
  UniqueHandle file(::CreateFileW(wide.c_str(), FILE_APPEND_DATA | GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) {
    error = Reason("cannot open", path, ::GetLastError());
    return nullptr;
  }
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
    error = "not a regular file: " + path;
    return nullptr;
  }
  return std::make_unique<HandleHistoryFile>(std::move(file), path);
}

std::unique_ptr<HistoryFileIo> OpenHistoryToRead(const std::string& path, bool& missing,
                                                 std::string& error) {
  missing = false;
  const std::wstring wide = windows::WidePath(path);
  UniqueHandle file(::CreateFileW(wide.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD code = ::GetLastError();
    missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    if (!missing) error = Reason("cannot open", path, code);
    return nullptr;
  }
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
    error = "not a regular file: " + path;
    return nullptr;
  }
  return std::make_unique<HandleHistoryFile>(std::move(file), path);
}

std::tm UtcTime(std::time_t moment) {
  std::tm utc{};
  ::gmtime_s(&utc, &moment);
  return utc;
}

}  // namespace kiln::platform
