// Holding a printer's print queues against a private cupsd: paused while the hold
// lives, resumed after it, jobs kept pending meanwhile; queues of other printers and
// queues stopped before are left as they are.

#include "platform/print_queue_hold.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

#include "support/private_cupsd.h"

namespace kiln::platform {
namespace {

using namespace std::chrono_literals;
using testing::JobCompletes;
using testing::JobState;
using testing::PrivateCupsd;
using testing::QueueStopped;
using testing::SubmitJob;

constexpr const char* kDriver = "Orvix Photo Printer T08";
const QueuePrinter kPrinter{"KLN0000001", "/dev/usb/lp0", kDriver};

bool JobStaysPending(const char* queue, int id, std::chrono::milliseconds period) {
  const auto end = std::chrono::steady_clock::now() + period;
  while (std::chrono::steady_clock::now() < end) {
    if (JobState(queue, id) != IPP_JSTATE_PENDING) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

class PrintQueueHoldTest : public ::testing::Test {
 protected:
  void StartCupsd(std::string_view policyLimits = {}) {
    if (!testing::CupsdAvailable()) {
      GTEST_SKIP() << "cupsd or lpadmin is not installed (scripts/deps installs cups-daemon "
                      "and cups-client)";
    }
    ASSERT_TRUE(cupsd_.Start(policyLimits)) << "the private cupsd did not come up";
  }

  PrivateCupsd cupsd_;
};

TEST_F(PrintQueueHoldTest, PausesThePrintersQueuesWhileItLivesAndResumesOnlyThose) {
  StartCupsd();
  if (IsSkipped()) return;
  // This server has no usb backend; the serial parameter reads the same in any scheme.
  ASSERT_TRUE(cupsd_.AddQueue("BySerial", "Generic", "ipp://Orvix/T08?serial=KLN0000001"));
  ASSERT_TRUE(cupsd_.AddQueue("ByNode", "Generic", "file:/dev/usb/lp0"));
  ASSERT_TRUE(cupsd_.AddQueue("ByDriver", "ORVIX photo printer t08"));
  ASSERT_TRUE(cupsd_.AddQueue("StoppedBefore", kDriver));
  ASSERT_TRUE(cupsd_.AddQueue("OtherPrinter", "Generic", "ipp://Orvix/T08?serial=KLN00000010"));
  ASSERT_EQ(std::system("/usr/sbin/cupsdisable StoppedBefore"), 0);

  int job = 0;
  {
    PrintQueueHold hold = PrintQueueHold::Hold(kPrinter);
    EXPECT_EQ(hold.result(), QueueHoldResult::kHeld);
    EXPECT_TRUE(hold.unpausedQueues().empty());
    EXPECT_EQ(hold.pausedQueues(), (std::vector<std::string>{"ByDriver", "ByNode", "BySerial"}));
    EXPECT_EQ(QueueStopped("BySerial"), true);
    EXPECT_EQ(QueueStopped("ByNode"), true);
    EXPECT_EQ(QueueStopped("ByDriver"), true);
    EXPECT_EQ(QueueStopped("OtherPrinter"), false);
    EXPECT_TRUE(QueueHoldWarning(hold).empty());

    job = SubmitJob(cupsd_, "ByDriver");
    ASSERT_GT(job, 0) << cupsLastErrorString();
    EXPECT_TRUE(JobStaysPending("ByDriver", job, 1500ms)) << "a job started during the hold";
  }  // the hold ends as on any path out of an update

  EXPECT_TRUE(JobCompletes("ByDriver", job));
  EXPECT_EQ(QueueStopped("BySerial"), false);
  EXPECT_EQ(QueueStopped("ByNode"), false);
  EXPECT_EQ(QueueStopped("ByDriver"), false);
  EXPECT_EQ(QueueStopped("StoppedBefore"), true) << "a queue this hold did not pause was resumed";
}

TEST_F(PrintQueueHoldTest, ARefusedPauseIsReportedAndTheOtherQueuesAreStillHeld) {
  StartCupsd(
      "  <Limit Pause-Printer>\n    AuthType Default\n    Require user kiln-nobody\n  </Limit>\n");
  if (IsSkipped()) return;
  ASSERT_TRUE(cupsd_.AddQueue("Photo", kDriver));

  PrintQueueHold hold = PrintQueueHold::Hold(kPrinter);
  EXPECT_EQ(hold.result(), QueueHoldResult::kNotPermitted);
  EXPECT_TRUE(hold.pausedQueues().empty());
  EXPECT_EQ(hold.unpausedQueues(), std::vector<std::string>{"Photo"});
  EXPECT_EQ(QueueStopped("Photo"), false);
  EXPECT_EQ(QueueHoldWarning(hold),
            "Print queue Photo could not be paused (no permission): a print job may interrupt "
            "the update.");
  EXPECT_TRUE(hold.Release());
}

TEST_F(PrintQueueHoldTest, NoPrintServerHoldsNothing) {
  StartCupsd();
  if (IsSkipped()) return;
  cupsd_.Stop();
  PrintQueueHold hold = PrintQueueHold::Hold(kPrinter);
  EXPECT_EQ(hold.result(), QueueHoldResult::kNoPrintServer);
  EXPECT_TRUE(hold.pausedQueues().empty());
}

}  // namespace
}  // namespace kiln::platform
