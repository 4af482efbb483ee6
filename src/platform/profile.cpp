// The private-profile functions through Kiln's own engine, the same on every system: the
// one that is fuzzed, keeps a hand-edited file's bytes and replaces it atomically.

#include "platform/profile.h"

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/ini_document.h"

namespace kiln::platform {

namespace {

// Loads the document at path; a missing or unreadable file is an empty document.
IniDocument Load(const char* path) {
  std::string content;
  if (path == nullptr || ReadWholeFile(path, content) != ReadResult::kOk) return IniDocument();
  return IniDocument(content);
}

uint32_t CopyText(std::string_view text, char* out, uint32_t size) {
  const std::size_t n = text.size() < size - 1u ? text.size() : size - 1u;
  if (n != 0) std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return static_cast<uint32_t>(n);
}

// Win32 list rules: each item NUL-terminated, one more NUL at the end. A list that
// does not fit is cut so that the buffer ends in two NULs, and size - 2 is returned.
uint32_t CopyList(const std::vector<std::string_view>& items, char* out, uint32_t size) {
  if (size < 2) {
    out[0] = '\0';
    return 0;
  }
  std::size_t pos = 0;
  for (std::string_view item : items) {
    if (pos + item.size() + 1 > size - 1u) {
      // The names before may already fill the buffer up to its last byte.
      const std::size_t room = pos < size - 2u ? size - 2u - pos : 0;
      if (room != 0) std::memcpy(out + pos, item.data(), room);
      out[size - 2] = '\0';
      out[size - 1] = '\0';
      return size - 2;
    }
    if (!item.empty()) std::memcpy(out + pos, item.data(), item.size());
    pos += item.size();
    out[pos++] = '\0';
  }
  out[pos] = '\0';
  return static_cast<uint32_t>(pos);
}

// A default loses its trailing spaces, not its tabs, as with the system's functions.
std::string_view WithoutTrailingSpaces(const char* text) {
  std::string_view view = text != nullptr ? std::string_view(text) : std::string_view();
  while (!view.empty() && view.back() == ' ') view.remove_suffix(1);
  return view;
}

// A listing (of a section's keys or lines) finds a section only by its name as stored:
// asked with blanks around it, the system's functions list nothing.
std::optional<IniDocument::Section> FindListedSection(const IniDocument& document,
                                                      const char* section) {
  if (section == nullptr || TrimBlanks(section) != std::string_view(section)) return std::nullopt;
  return document.FindSection(section);
}

// Reads a number the way the profile's integer lookup does; digits stop at the first
// other character, and the result wraps like the 32-bit arithmetic it stands for.
uint32_t ParseProfileInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  uint32_t base = 10;
  // Only a lower-case "0x" reads hexadecimal: "0X10" is 0, as the system reads it.
  if (i + 1 < text.size() && text[i] == '0' && text[i + 1] == 'x') {
    base = 16;
    i += 2;
  }
  uint32_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      break;
    }
    value = value * base + digit;
  }
  return negative ? 0u - value : value;
}

}  // namespace

uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* out, uint32_t size, const char* path) {
  if (out == nullptr || size == 0) return 0;
  const IniDocument document = Load(path);
  if (section == nullptr) return CopyList(document.SectionNames(), out, size);

  if (key == nullptr) {
    const auto listed = FindListedSection(document, section);
    std::vector<std::string_view> names;
    if (listed) names = document.KeyNames(*listed);
    // A nameless first key ("=value") would end the list where it begins: the system
    // answers with the empty list.
    if (!names.empty() && names.front().empty()) names.clear();
    return CopyList(names, out, size);
  }
  if (const auto found = document.FindSection(section)) {
    if (const auto at = document.FindKey(*found, key)) {
      return CopyText(StripQuotes(document.lines()[*at].value), out, size);
    }
  }
  return CopyText(WithoutTrailingSpaces(defaultValue), out, size);
}

uint32_t GetPrivateProfileIntA(const char* section, const char* key, int32_t defaultValue,
                               const char* path) {
  if (section == nullptr || key == nullptr) return static_cast<uint32_t>(defaultValue);
  const IniDocument document = Load(path);
  const auto found = document.FindSection(section);
  if (!found) return static_cast<uint32_t>(defaultValue);
  const auto at = document.FindKey(*found, key);
  if (!at) return static_cast<uint32_t>(defaultValue);
  const std::string_view value = StripQuotes(document.lines()[*at].value);
  if (value.empty()) return static_cast<uint32_t>(defaultValue);
  return ParseProfileInt(value);
}

uint32_t GetPrivateProfileSectionA(const char* section, char* out, uint32_t size,
                                   const char* path) {
  if (out == nullptr || size == 0) return 0;
  const IniDocument document = Load(path);
  const auto found = FindListedSection(document, section);
  const std::vector<std::string> lines =
      found ? document.SectionLines(*found) : std::vector<std::string>();
  if (lines.empty()) {
    // Nothing to list: an empty list, with the second zero byte of a list's end.
    out[0] = '\0';
    if (size > 1) out[1] = '\0';
    return 0;
  }
  return CopyList(std::vector<std::string_view>(lines.begin(), lines.end()), out, size);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* path) {
  if (section == nullptr) return false;
  const ProfileEdit result = EditProfile(path, [&](IniDocument& document) {
    if (key == nullptr) return document.DeleteSection(section);
    if (value == nullptr) return document.DeleteKey(section, key);
    return document.SetValue(section, key, value);
  });
  return result == ProfileEdit::kWritten || result == ProfileEdit::kUnchanged;
}

}  // namespace kiln::platform
