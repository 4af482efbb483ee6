#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace kiln::platform {
namespace {

// Whether another process could take the lock while this one holds what it holds.
bool OtherProcessGetsLock(const std::string& file) {
  pid_t child = ::fork();
  if (child == 0) ::_exit(InstanceLock::TryAcquire(file) ? 0 : 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(InstanceLockTest, OnlyTheFirstProcessRunsAndTheLockEndsWithItsHolder) {
  testing::TempDir dir;
  const std::string file = (dir.path() / "instance.lock").string();
  {
    auto first = InstanceLock::TryAcquire(file);
    ASSERT_TRUE(first);
    EXPECT_FALSE(OtherProcessGetsLock(file));
  }
  EXPECT_TRUE(OtherProcessGetsLock(file));
}

}  // namespace
}  // namespace kiln::platform
