#include "platform/named_mutex.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/lock_probe.h"
#include "support/temp_dir.h"

namespace kiln::platform {
namespace {

using testing::TempDir;

bool HeldAgainstOthers(const std::string& path) {
  return testing::LockedByOthers(path);
}

constexpr LockScope kThisUser = LockScope::kThisUser;
constexpr LockScope kEveryUser = LockScope::kEveryUser;

class NamedMutexTest : public ::testing::Test {
 protected:
  TempDir dir_;
  LockFolders folders_{dir_.File("local"), dir_.File("global")};
};

TEST_F(NamedMutexTest, NamesBecomeFlatFilesInTheFolderOfTheirScope) {
  EXPECT_EQ(LockFilePath("/usb/lp0", kThisUser, folders_), folders_.local + "/%2Fusb%2Flp0.lock");
  EXPECT_EQ(LockFilePath("/usb/lp0", kEveryUser, folders_), folders_.global + "/%2Fusb%2Flp0.lock");
  EXPECT_EQ(LockFilePath("usb#vid_2e5a&pid_0102", kThisUser, folders_),
            folders_.local + "/usb%23vid_2e5a%26pid_0102.lock");
}

TEST_F(NamedMutexTest, ReentrantForItsThreadAndHeldAgainstOtherProcesses) {
  auto mutex = OpenNamedMutex("printer", kEveryUser, folders_);
  ASSERT_NE(mutex, nullptr);
  const std::string file = LockFilePath("printer", kEveryUser, folders_);
  EXPECT_FALSE(mutex->Unlock()) << "nothing held yet";
  mutex->Lock();
  mutex->Lock();
  EXPECT_TRUE(HeldAgainstOthers(file));
  EXPECT_TRUE(mutex->Unlock());
  EXPECT_TRUE(HeldAgainstOthers(file)) << "still held once";
  EXPECT_TRUE(mutex->Unlock());
  EXPECT_FALSE(HeldAgainstOthers(file));
}

TEST_F(NamedMutexTest, AnotherThreadWaitsUntilReleased) {
  auto first = OpenNamedMutex("printer", kThisUser, folders_);
  auto second = OpenNamedMutex("printer", kThisUser, folders_);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  first->Lock();
  std::atomic<bool> taken{false};
  std::thread other([&] {
    second->Lock();
    taken = true;
    second->Unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(taken);
  EXPECT_TRUE(first->Unlock());
  other.join();
  EXPECT_TRUE(taken);
}

TEST_F(NamedMutexTest, ClosingAHandleGivesBackItsHolds) {
  const std::string file = LockFilePath("printer", kThisUser, folders_);
  {
    auto mutex = OpenNamedMutex("printer", kThisUser, folders_);
    ASSERT_NE(mutex, nullptr);
    mutex->Lock();
    EXPECT_TRUE(HeldAgainstOthers(file));
  }
  EXPECT_FALSE(HeldAgainstOthers(file));
  auto again = OpenNamedMutex("printer", kThisUser, folders_);
  again->Lock();  // would wait for ever if the old hold were still there
  EXPECT_TRUE(again->Unlock());
}

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST_F(NamedMutexTest, PlantedSymlinkIsNotFollowed) {
  ASSERT_EQ(::mkdir(folders_.global.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(folders_.global.c_str(), 01777), 0);
  const std::string victim = dir_.Write("victim", "private");
  ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
  ASSERT_EQ(::symlink(victim.c_str(), LockFilePath("printer", kEveryUser, folders_).c_str()), 0);
  EXPECT_EQ(OpenNamedMutex("printer", kEveryUser, folders_), nullptr);
  EXPECT_EQ(ModeOf(victim), 0600u) << "the other user's file was made world-writable";

  // A lock file that is there already keeps the mode its creator gave it.
  const std::string existing = dir_.Write("global/other.lock", "");
  ASSERT_EQ(::chmod(existing.c_str(), 0600), 0);
  EXPECT_NE(OpenNamedMutex("other", kEveryUser, folders_), nullptr);
  EXPECT_EQ(ModeOf(existing), 0600u);
  EXPECT_NE(OpenNamedMutex("fresh", kEveryUser, folders_), nullptr);
  EXPECT_EQ(ModeOf(LockFilePath("fresh", kEveryUser, folders_)), 0666u);
}

TEST_F(NamedMutexTest, UntrustedFoldersAreRefused) {
  ASSERT_EQ(::mkdir(folders_.local.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(folders_.local.c_str(), 0777), 0);
  EXPECT_EQ(OpenNamedMutex("printer", kThisUser, folders_), nullptr)
      << "writable by others, not sticky";
  ASSERT_EQ(::chmod(folders_.local.c_str(), 01777), 0);
  EXPECT_NE(OpenNamedMutex("printer", kThisUser, folders_), nullptr);

  if (::geteuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root";
  ASSERT_EQ(::mkdir(folders_.global.c_str(), 01777), 0);
  ASSERT_EQ(::chown(folders_.global.c_str(), 65534, 65534), 0);
  EXPECT_EQ(OpenNamedMutex("printer", kEveryUser, folders_), nullptr) << "owned by another user";
}

}  // namespace
}  // namespace kiln::platform
