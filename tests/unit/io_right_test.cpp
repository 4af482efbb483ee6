#include "usb/io_right.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/lock_probe.h"
#include "usb_link_fixture.h"

namespace kiln::usb::testing {
namespace {

TEST(IoRightName, DerivedFromTheDevicePath) {
  EXPECT_EQ(IoRightName("/dev/usb/lp0"), "/usb/lp0");
  EXPECT_EQ(IoRightName("/dev/usb/LP\\1"), "/usb/lp1") << "lower case, no backslashes";
  EXPECT_EQ(IoRightName("/dev"), "");
}

using kiln::testing::LockedByOthers;

class IoRightTest : public LinkTest {
 protected:
  std::string LocalFile() const { return locks_.File("local/%2Fusb%2Flp0.lock"); }
  std::string GlobalFile() const { return locks_.File("global/%2Fusb%2Flp0.lock"); }
};

TEST_F(IoRightTest, NeverEnabledRightDoesNothing) {
  CUsbLink& link = MakeLink();
  EXPECT_TRUE(link.WaitIORight());
  EXPECT_TRUE(link.ReleaseIORight());
  EXPECT_FALSE(LockedByOthers(LocalFile()));
}

TEST_F(IoRightTest, TakenAroundATransactionInBothNamespaces) {
  auto script = OpenModel7();
  EXPECT_TRUE(link_->WaitIORight());
  EXPECT_TRUE(LockedByOthers(LocalFile()));
  EXPECT_TRUE(LockedByOthers(GlobalFile()));
  EXPECT_TRUE(link_->ReleaseIORight());
  EXPECT_FALSE(LockedByOthers(LocalFile()));
  EXPECT_FALSE(LockedByOthers(GlobalFile()));
}

TEST_F(IoRightTest, RightWithoutADevicePathGuardsNothing) {
  IoRight right;
  EXPECT_FALSE(right.Set(""));
  EXPECT_TRUE(right.enabled());
  EXPECT_FALSE(right.hasMutexes());
  EXPECT_TRUE(right.Wait()) << "nothing to wait for";
  EXPECT_TRUE(right.Set("/dev/usb/lp0"));
  EXPECT_TRUE(right.Wait());
  EXPECT_TRUE(LockedByOthers(LocalFile()));
  EXPECT_TRUE(LockedByOthers(GlobalFile()));
  right.Release();
}

TEST_F(IoRightTest, ClosingTheChannelGivesTheRightBack) {
  auto script = OpenModel7();
  link_->WaitIORight();
  link_->CloseIOChannel();
  EXPECT_FALSE(LockedByOthers(LocalFile()));
  EXPECT_TRUE(link_->WaitIORight()) << "enabled but without mutexes: returns at once";
}

TEST_F(IoRightTest, LinksOnOnePrinterWaitForEachOtherButNotForOtherPrinters) {
  nodes_.list = {Printer("/dev/usb/lp0", kVidPid7, "A"), Printer("/dev/usb/lp1", kVidPid7, "B")};
  pipes_.Add("/dev/usb/lp0");
  pipes_.Add("/dev/usb/lp1");
  FixedProbes probes;
  const LinkServices services{&probes, &pipes_, &nodes_, &clock_};
  CUsbLink first(services), samePrinter(services), otherPrinter(services);
  ASSERT_EQ(first.OpenIOChannel(kModel7, 1), kOpenOk);
  ASSERT_EQ(samePrinter.OpenIOChannel(kModel7, 1), kOpenOk);
  ASSERT_EQ(otherPrinter.OpenIOChannel(kModel7, 2), kOpenOk);

  first.WaitIORight();
  std::atomic<bool> otherDone{false}, sameDone{false};
  std::thread other([&] {
    otherPrinter.WaitIORight();
    otherPrinter.ReleaseIORight();
    otherDone = true;
  });
  std::thread same([&] {
    samePrinter.WaitIORight();
    sameDone = true;
    samePrinter.ReleaseIORight();
  });
  other.join();
  EXPECT_TRUE(otherDone);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(sameDone);
  first.ReleaseIORight();
  same.join();
  EXPECT_TRUE(sameDone);
}

}  // namespace
}  // namespace kiln::usb::testing
