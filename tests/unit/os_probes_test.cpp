#include "platform/os_probes.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace kiln::platform {
namespace {

TEST(OsVersionCode, FromVersionRecords) {
  EXPECT_EQ(OsVersionCodeFrom({1, 4, 0, 0}, false), kOsWin95);
  EXPECT_EQ(OsVersionCodeFrom({1, 4, 10, 0}, false), kOsWin98);
  EXPECT_EQ(OsVersionCodeFrom({1, 4, 90, 0}, false), kOsWinMe);
  EXPECT_EQ(OsVersionCodeFrom({2, 4, 0, 0}, false), kOsNt4);
  EXPECT_EQ(OsVersionCodeFrom({2, 3, 51, 0}, false), kOsOther);
  EXPECT_EQ(OsVersionCodeFrom({2, 5, 0, 0}, false), kOsWin2000);
  EXPECT_EQ(OsVersionCodeFrom({2, 5, 1, 0}, false), kOsWinXp);
  EXPECT_EQ(OsVersionCodeFrom({2, 5, 1, 0x0040}, false), kOsWinXpEmbedded);
  EXPECT_EQ(OsVersionCodeFrom({2, 5, 1, 0x4000}, false), kOsWinXp) << "only the low byte counts";
  EXPECT_EQ(OsVersionCodeFrom({2, 5, 2, 0}, false), kOsNt52);
  EXPECT_EQ(OsVersionCodeFrom({2, 5, 1, 0}, true), kOsNt5Wow64);
  EXPECT_EQ(OsVersionCodeFrom({2, 10, 0, 0}, false), kOsNt6);
  EXPECT_EQ(OsVersionCodeFrom({2, 6, 1, 0}, true), kOsNt6Wow64);
  EXPECT_EQ(OsVersionCodeFrom({3, 6, 0, 0}, false), kOsOther);
}

TEST(SpoolDriverDir, ComposedPerVersionCode) {
  const char* system = "C:\\WINDOWS\\system32";
  EXPECT_EQ(ComposeSpoolDriverDir(system, kOsNt5Wow64, true),
            "C:\\WINDOWS\\system32\\spool\\drivers\\x64\\3");
  EXPECT_EQ(ComposeSpoolDriverDir(system, kOsWinXp, true),
            "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\3");
  EXPECT_EQ(ComposeSpoolDriverDir(system, kOsWinXp, false),
            "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86");
  EXPECT_EQ(ComposeSpoolDriverDir("C:\\WINDOWS\\SYSTEM", kOsWin98, true), "C:\\WINDOWS\\SYSTEM");
}

TEST(SpoolDriverDir, LinuxFolderIsOverridable) {
  PlatformProbes& probes = SystemProbes();
  EXPECT_EQ(probes.GetOsVersionCode(), kOsNt6);
  EXPECT_FALSE(probes.IsWow64());
  ::unsetenv("KILN_DRIVER_DIR");
  EXPECT_EQ(probes.GetSpoolDriverDir(true), kDefaultDriverDir);
  ::setenv("KILN_DRIVER_DIR", "/tmp/drivers//", 1);
  EXPECT_EQ(probes.GetSpoolDriverDir(true), "/tmp/drivers");
  ::unsetenv("KILN_DRIVER_DIR");
}

}  // namespace
}  // namespace kiln::platform
