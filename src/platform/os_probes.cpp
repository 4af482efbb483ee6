#include "platform/os_probes.h"

#include <cstdlib>

namespace kiln::platform {

namespace {
constexpr uint32_t kPlatform9x = 1;
constexpr uint32_t kPlatformNt = 2;
constexpr uint16_t kSuiteEmbeddedNt = 0x0040;
}  // namespace

OsVersionCode OsVersionCodeFrom(const OsVersionInfo& info, bool wow64) {
  if (info.platformId == kPlatform9x) {
    if (info.minorVersion == 90) return kOsWinMe;
    return info.minorVersion < 10 ? kOsWin95 : kOsWin98;
  }
  if (info.platformId != kPlatformNt) return kOsOther;
  if (info.majorVersion >= 6) return wow64 ? kOsNt6Wow64 : kOsNt6;
  if (info.majorVersion == 5) {
    if (wow64) return kOsNt5Wow64;
    if (info.minorVersion >= 2) return kOsNt52;
    if (info.minorVersion == 1) {
      return (info.suiteMask & 0xFF & kSuiteEmbeddedNt) != 0 ? kOsWinXpEmbedded : kOsWinXp;
    }
    return kOsWin2000;
  }
  return info.majorVersion == 4 ? kOsNt4 : kOsOther;
}

std::string ComposeSpoolDriverDir(std::string_view systemDirectory, OsVersionCode code,
                                  bool version3) {
  std::string folder(systemDirectory.substr(0, 256));
  if (code <= kOsWinMe) return folder;
  folder += (code == kOsNt5Wow64 || code == kOsNt6Wow64) ? "\\spool\\drivers\\x64"
                                                         : "\\spool\\drivers\\w32x86";
  if (version3) folder += "\\3";
  return folder;
}

namespace {

class LinuxProbes final : public PlatformProbes {
 public:
  OsVersionCode GetOsVersionCode() override { return kOsNt6; }
  bool IsWow64() override { return false; }
  std::string GetSpoolDriverDir(bool /*version3*/) override {
    const char* overridden = std::getenv("KILN_DRIVER_DIR");
    std::string folder =
        overridden != nullptr && *overridden != '\0' ? overridden : kDefaultDriverDir;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
  }
  char PathSeparator() override { return '/'; }
};

}  // namespace

PlatformProbes& SystemProbes() {
  static LinuxProbes probes;
  return probes;
}

}  // namespace kiln::platform
