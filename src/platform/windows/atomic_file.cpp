// Whole-file reads and atomic replacement through the wide Win32 file functions.

#include "platform/atomic_file.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"

namespace kiln::platform {

using windows::UniqueHandle;
using windows::WidePath;

namespace {

bool WriteAll(HANDLE file, std::string_view data) {
  while (!data.empty()) {
    const DWORD chunk = data.size() > 0x10000000u ? 0x10000000u : static_cast<DWORD>(data.size());
    DWORD written = 0;
    if (!::WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0) return false;
    data.remove_prefix(written);
  }
  return true;
}

// A name beside the target that no other writer uses: process id and a counter.
std::wstring TempPathFor(const std::wstring& target) {
  static std::atomic<unsigned> counter{0};
  return target + L".kilntmp." + std::to_wstring(::GetCurrentProcessId()) + L"." +
         std::to_wstring(counter.fetch_add(1));
}

}  // namespace

ReadResult ReadWholeFile(const char* path, std::string& content) {
  content.clear();
  if (path == nullptr || *path == '\0') return ReadResult::kMissing;
  const std::wstring wide = WidePath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::kMissing
                                                                          : ReadResult::kError;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return ReadResult::kNotAFile;
  UniqueHandle file(::CreateFileW(wide.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return ReadResult::kError;
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) return ReadResult::kNotAFile;
  char buffer[16384];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
      content.clear();
      return ReadResult::kError;
    }
    if (got == 0) return ReadResult::kOk;
    content.append(buffer, got);
  }
}

bool WriteFileAtomically(const char* path, std::string_view content) {
  if (path == nullptr || *path == '\0') return false;
  const std::wstring target = WidePath(path);
  const DWORD old = ::GetFileAttributesW(target.c_str());
  if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  const std::wstring temp = TempPathFor(target);
  UniqueHandle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  const bool written = WriteAll(file.get(), content) && ::FlushFileBuffers(file.get()) != 0;
  if (!file.Close() || !written ||
      !::MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace kiln::platform
