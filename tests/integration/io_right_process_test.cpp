// The I/O right between processes: worker programs take the right of a printer while
// this process holds it or takes it too.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <sstream>
#include <thread>

#include "support/child_process.h"
#include "support/lock_folder.h"
#include "support/lock_probe.h"
#include "support/temp_dir.h"
#include "usb/io_right.h"

namespace kiln::usb {
namespace {

using namespace std::chrono_literals;
using kiln::testing::ChildProcess;

class IoRightBetweenProcesses : public ::testing::Test {
 protected:
  std::vector<std::string> Worker(const char* devicePath, unsigned rounds) {
    return {KILN_LINK_WORKER, "journal", devicePath, journal_, std::to_string(rounds)};
  }

  kiln::testing::LockFolderScope locks_;
  kiln::testing::TempDir dir_;
  std::string journal_ = dir_.File("journal.txt");
};

TEST_F(IoRightBetweenProcesses, HoldsOnOnePrinterNeverOverlap) {
  ChildProcess first(Worker("/dev/usb/lp0", 25));
  ChildProcess second(Worker("/dev/usb/lp0", 25));
  ASSERT_TRUE(first.started() && second.started());
  EXPECT_EQ(first.WaitFor(20s), 0);
  EXPECT_EQ(second.WaitFor(20s), 0);

  std::istringstream lines(kiln::testing::TempDir::Read(journal_));
  std::string word, pid, holder;
  int holds = 0;
  while (lines >> word >> pid) {
    if (word == "begin") {
      EXPECT_EQ(holder, "") << "a second hold began inside " << holder << "'s";
      holder = pid;
      ++holds;
    } else {
      EXPECT_EQ(holder, pid);
      holder.clear();
    }
  }
  EXPECT_EQ(holds, 50);
}

TEST_F(IoRightBetweenProcesses, AnotherPrinterIsNotBlocked) {
  IoRight held;
  ASSERT_TRUE(held.Set("/dev/usb/lp0"));
  held.Wait();
  ChildProcess samePrinter(Worker("/dev/usb/lp0", 1));
  ChildProcess otherPrinter(Worker("/dev/usb/lp1", 1));
  EXPECT_EQ(otherPrinter.WaitFor(20s), 0);
  EXPECT_EQ(samePrinter.WaitFor(100ms), std::nullopt) << "waits while this process holds it";
  held.Release();
  EXPECT_EQ(samePrinter.WaitFor(20s), 0);
}

TEST_F(IoRightBetweenProcesses, RightOfAProcessThatDiedIsFree) {
  const std::string lockFile = platform::LockFilePath(
      IoRightName("/dev/usb/lp0"), platform::LockScope::kThisUser, platform::CurrentLockFolders());
  {
    ChildProcess worker(Worker("/dev/usb/lp0", 1000000));
    ASSERT_TRUE(worker.started());
    for (int i = 0; i < 2000 && kiln::testing::TempDir::Read(journal_).empty(); ++i) {
      std::this_thread::sleep_for(1ms);
    }
    ASSERT_FALSE(kiln::testing::TempDir::Read(journal_).empty()) << "the worker never held it";
  }  // killed in the middle of its rounds
  EXPECT_FALSE(kiln::testing::LockedByOthers(lockFile));
}

}  // namespace
}  // namespace kiln::usb
