#include "platform/program_folder.h"

#include <windows.h>

#include "platform/windows/wide_text.h"

namespace kiln::platform {

std::string ProgramFolder(const char* /*argv0*/) {
  // The folder of kiln.exe itself, whatever the command line called it: Windows starts
  // no program through a link to it.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return ".";
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return ".";
  // "C:\kiln.exe": the root keeps its separator.
  const std::size_t end = separator == 2 && path[1] == L':' ? separator + 1 : separator;
  return windows::Utf8(std::wstring_view(path).substr(0, end));
}

}  // namespace kiln::platform
