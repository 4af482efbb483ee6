// Kiln.ini and the language files through the system's own private-profile functions.
// The wide (W) functions are called so that the file's path may hold any Unicode name;
// section, key and value texts go in and come out in the ANSI code page, byte for byte as
// the ANSI (A) functions would pass them, and the A functions' truncation rules are
// applied to what comes back.

#include "platform/profile.h"

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/ini_document.h"
#include "platform/windows/wide_text.h"

namespace kiln::platform {

namespace {

// ANSI code page text as UTF-16, for the W functions; nullptr stays nullptr.
std::optional<std::wstring> FromAnsi(const char* text) {
  if (text == nullptr) return std::nullopt;
  const int length = static_cast<int>(std::strlen(text));
  if (length == 0) return std::wstring();
  const int units = ::MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text, length, wide.data(), units);
  return wide;
}

const wchar_t* Pointer(const std::optional<std::wstring>& text) {
  return text ? text->c_str() : nullptr;
}

// UTF-16 (zero characters included) back in the ANSI code page.
std::string ToAnsi(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int bytes =
      ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, text.data(), bytes, nullptr, nullptr);
  return text;
}

// Calls read with ever larger buffers until its answer fits whole (a cut answer is
// capacity - 1 for a value, capacity - 2 for a list).
template <typename Read>
std::wstring ReadWhole(bool list, Read read) {
  std::wstring buffer(1024, L'\0');
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(buffer.size());
    const DWORD length = read(buffer.data(), capacity);
    const DWORD cut = list ? capacity - 2 : capacity - 1;
    if (length < cut || buffer.size() >= (1u << 24)) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(buffer.size() * 4);
  }
}

// The A rules for a value: at most size - 1 bytes, always terminated.
uint32_t CopyValue(const std::string& text, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return 0;
  const std::size_t n = text.size() < size - 1u ? text.size() : size - 1u;
  if (n != 0) std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return static_cast<uint32_t>(n);
}

// The A rules for a list (each item NUL-terminated in items, one more NUL at the end): a
// list that does not fit is cut so that the buffer ends in two NULs, and size - 2 returned.
// An empty list is one NUL, or two for a section's lines (emptyEndsTwice).
uint32_t CopyList(const std::string& items, char* out, uint32_t size, bool emptyEndsTwice) {
  if (out == nullptr || size == 0) return 0;
  if (size < 2) {
    out[0] = '\0';
    return 0;
  }
  if (items.size() + 1 > size) {
    std::memcpy(out, items.data(), size - 2u);
    out[size - 2] = '\0';
    out[size - 1] = '\0';
    return size - 2;
  }
  if (!items.empty()) std::memcpy(out, items.data(), items.size());
  out[items.size()] = '\0';
  if (items.empty() && emptyEndsTwice) out[1] = '\0';
  return static_cast<uint32_t>(items.size());
}

// A text the file cannot hold: a line break would split its line.
bool BreaksLine(const char* text) {
  return text != nullptr && std::strpbrk(text, "\r\n") != nullptr;
}

}  // namespace

uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* out, uint32_t size, const char* path) {
  const bool list = section == nullptr || key == nullptr;
  if (path == nullptr) return list ? CopyList({}, out, size, false) : CopyValue({}, out, size);
  const auto wideSection = FromAnsi(section);
  const auto wideKey = FromAnsi(key);
  // A listing of a missing section is empty, never the default.
  const auto wideDefault = FromAnsi(list ? "" : defaultValue);
  const std::wstring widePath = windows::WidePath(path);
  const std::wstring answer = ReadWhole(list, [&](wchar_t* buffer, DWORD capacity) {
    return ::GetPrivateProfileStringW(Pointer(wideSection), Pointer(wideKey), Pointer(wideDefault),
                                      buffer, capacity, widePath.c_str());
  });
  return list ? CopyList(ToAnsi(answer), out, size, false) : CopyValue(ToAnsi(answer), out, size);
}

uint32_t GetPrivateProfileIntA(const char* section, const char* key, int32_t defaultValue,
                               const char* path) {
  if (path == nullptr) return static_cast<uint32_t>(defaultValue);
  return ::GetPrivateProfileIntW(Pointer(FromAnsi(section)), Pointer(FromAnsi(key)), defaultValue,
                                 windows::WidePath(path).c_str());
}

uint32_t GetPrivateProfileSectionA(const char* section, char* out, uint32_t size,
                                   const char* path) {
  if (path == nullptr || section == nullptr) return CopyList({}, out, size, true);
  const auto wideSection = FromAnsi(section);
  const std::wstring widePath = windows::WidePath(path);
  const std::wstring answer = ReadWhole(true, [&](wchar_t* buffer, DWORD capacity) {
    return ::GetPrivateProfileSectionW(wideSection->c_str(), buffer, capacity, widePath.c_str());
  });
  return CopyList(ToAnsi(answer), out, size, true);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* path) {
  // The system would write a line break into the file and so a line of its own.
  if (section == nullptr || path == nullptr || BreaksLine(section) || BreaksLine(key) ||
      BreaksLine(value)) {
    return false;
  }
  // A read-only file is protected: the system's function would not always refuse it.
  const std::wstring widePath = windows::WidePath(path);
  const DWORD attributes = ::GetFileAttributesW(widePath.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return false;
  }
  return ::WritePrivateProfileStringW(Pointer(FromAnsi(section)), Pointer(FromAnsi(key)),
                                      Pointer(FromAnsi(value)), widePath.c_str()) != 0;
}

bool SetFileAttributesNormal(const char* path) {
  if (path == nullptr) return false;
  const std::wstring wide = windows::WidePath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return true;
  return ::SetFileAttributesW(wide.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) != 0;
}

}  // namespace kiln::platform
