// Code pages through the system's own conversion: the code page to UTF-16, then UTF-8.
#include <windows.h>

#include <string>

#include "i18n/code_page.h"
#include "platform/windows/wide_text.h"

namespace kiln::i18n {

std::string CodePageToUtf8(std::string_view bytes, uint32_t codePage) {
  if (bytes.empty()) return {};
  // Byte counts beyond int are far beyond any text of a language section.
  const int inLength = static_cast<int>(bytes.size());
  // Without MB_ERR_INVALID_CHARS a sequence the code page cannot read becomes U+FFFD.
  const int length = MultiByteToWideChar(codePage, 0, bytes.data(), inLength, nullptr, 0);
  if (length <= 0) return Latin1ToUtf8(bytes);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), inLength, wide.data(), length);
  return platform::windows::Utf8(wide);
}

}  // namespace kiln::i18n
