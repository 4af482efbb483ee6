#include "platform/os_probes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>

#include "platform/linux/open_files.h"
#include "platform/linux/unique_fd.h"
#include "support/temp_dir.h"

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

// Each open file of the path counts once, this process's own included; the name is the
// program's short name, read without leaving a file open.
TEST(OpenFiles, EachOpenFileOfThePathAndTheProgramsName) {
  testing::TempDir dir;
  const std::string path = dir.Write("node", "");
  EXPECT_TRUE(ProcessesWithOpen(path).empty());
  const UniqueFd first(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  const UniqueFd second(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  EXPECT_EQ(ProcessesWithOpen(path), (std::vector<pid_t>{::getpid(), ::getpid()}));
  EXPECT_TRUE(ProcessesWithOpen("").empty());
  const auto openFiles = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  const auto before = openFiles();
  for (int i = 0; i < 100; ++i) ASSERT_EQ(ProcessName(::getpid()), "kiln_unit_platf");
  EXPECT_EQ(openFiles(), before);
}

}  // namespace
}  // namespace kiln::platform
