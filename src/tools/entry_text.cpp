#include "tools/entry_text.h"

#include "i18n/code_page.h"

namespace kiln::tools {

std::string ShownText(std::string_view bytes) {
  return i18n::IsValidUtf8(bytes) ? std::string(bytes) : i18n::Latin1ToUtf8(bytes);
}

std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
    line += c == '\r' || c == '\n' || c == '\t' || c == '\0' ? ' ' : c;
  }
  return line;
}

std::string StoredBytes(std::string_view shown, std::string_view original) {
  return shown == ShownText(original) ? std::string(original) : OneLine(shown);
}

std::string CutBytes(std::string bytes, std::size_t limit) {
  if (bytes.size() <= limit) return bytes;
  std::size_t end = limit;
  if (i18n::IsValidUtf8(bytes)) {
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
  }
  bytes.resize(end);
  return bytes;
}

}  // namespace kiln::tools
