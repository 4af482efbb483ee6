#include "platform/os_probes.h"

#include <windows.h>
// windows.h first: the spooler header builds on its types.
#include <winspool.h>

#include "platform/windows/wide_text.h"

namespace kiln::platform {

namespace {

// The language-monitor files sit in the version-3 folder of the spooler's driver folder
// for this machine's architecture, e.g. C:\Windows\system32\spool\drivers\x64\3.
std::wstring SpoolerDriverFolder() {
  wchar_t folder[MAX_PATH + 1] = {};
  DWORD needed = 0;
  if (::GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(folder),
                                   sizeof folder - sizeof(wchar_t), &needed) &&
      folder[0] != L'\0') {
    return std::wstring(folder) + L"\\3";
  }
  // No spooler to ask: the folder where it keeps them (kiln.exe is a 64-bit program).
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(folder, length) + L"\\spool\\drivers\\x64\\3";
}

class WindowsProbes final : public PlatformProbes {
 public:
  std::string GetDriverDir() override {
    wchar_t overridden[MAX_PATH + 1] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"KILN_DRIVER_DIR", overridden, MAX_PATH);
    std::string folder = length > 0 && length < MAX_PATH ? windows::Utf8(overridden)
                                                         : windows::Utf8(SpoolerDriverFolder());
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return folder;
  }
};

}  // namespace

PlatformProbes& SystemProbes() {
  static WindowsProbes probes;
  return probes;
}

}  // namespace kiln::platform
