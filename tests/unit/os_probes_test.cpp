#include "platform/os_probes.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace kiln::platform {
namespace {

TEST(DriverDir, LinuxFolderIsOverridable) {
  PlatformProbes& probes = SystemProbes();
  ::unsetenv("KILN_DRIVER_DIR");
  EXPECT_EQ(probes.GetDriverDir(), kDefaultDriverDir);
  ::setenv("KILN_DRIVER_DIR", "/tmp/drivers//", 1);
  EXPECT_EQ(probes.GetDriverDir(), "/tmp/drivers");
  ::unsetenv("KILN_DRIVER_DIR");
}

}  // namespace
}  // namespace kiln::platform
