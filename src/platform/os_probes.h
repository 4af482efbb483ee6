#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kiln::platform {

// The small integer for the Windows version that steers the transport's choices
// (pipe paths, chunk size, mutex namespace).
// Linux reports the code of a modern native 64-bit system.
enum OsVersionCode : uint16_t {
  kOsOther = 0,
  kOsWin95 = 1,
  kOsNt4 = 2,
  kOsWin98 = 3,
  kOsWinMe = 4,
  kOsWin2000 = 5,
  kOsWinXp = 6,
  kOsWinXpEmbedded = 7,
  kOsNt52 = 8,
  kOsNt5Wow64 = 9,
  kOsNt6 = 10,
  kOsNt6Wow64 = 11,
};

// The version record the code is computed from (platform 1 = 9x, 2 = NT).
struct OsVersionInfo {
  uint32_t platformId = 0;
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;
  uint16_t suiteMask = 0;
};

// The code for a version record (and whether the process is a 32-bit one on 64-bit
// Windows).
OsVersionCode OsVersionCodeFrom(const OsVersionInfo& info, bool wow64);

// The spooler's driver folder below a Windows system folder for a version code: the
// system folder itself for codes 0 to 4; else "\spool\drivers\x64" (codes 9, 11) or
// "\spool\drivers\w32x86", plus "\3" when version3 is set.
std::string ComposeSpoolDriverDir(std::string_view systemDirectory, OsVersionCode code,
                                  bool version3);

// The probes the rest of the program adapts to. Production code uses SystemProbes();
// tests inject their own to reach the branches for other Windows versions.
class PlatformProbes {
 public:
  virtual ~PlatformProbes() = default;
  virtual OsVersionCode GetOsVersionCode() = 0;
  virtual bool IsWow64() = 0;
  // The folder that holds the printer driver's language-monitor files, with no
  // trailing separator.
  virtual std::string GetSpoolDriverDir(bool version3) = 0;
  // The separator between that folder and a file name.
  virtual char PathSeparator() = 0;
};

// Linux: code kOsNt6, no 32-bit emulation, the driver folder from KILN_DRIVER_DIR or
// else kDefaultDriverDir, "/" as separator.
PlatformProbes& SystemProbes();

inline constexpr const char* kDefaultDriverDir = "/usr/share/kiln/drivers";

}  // namespace kiln::platform
