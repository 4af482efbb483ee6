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
using testing::PrivateCupsd;

constexpr const char* kDriver = "Orvix Photo Printer T08";
const QueuePrinter kPrinter{"KLN0000001", "/dev/usb/lp0", kDriver};

std::optional<bool> QueueStopped(const std::string& name) {
  for (const PrintQueue& queue : ListPrintQueues()) {
    if (queue.name == name) return queue.stopped;
  }
  return std::nullopt;
}

// A raw job (no filters) to the queue; its id, 0 when refused.
int SubmitJob(const PrivateCupsd& cupsd, const char* queue) {
  const std::string file = cupsd.dir().Write("job.bin", "job data\n");
  cups_option_t* options = nullptr;
  const int count = cupsAddOption("raw", "true", 0, &options);
  const int id =
      cupsPrintFile2(CUPS_HTTP_DEFAULT, queue, file.c_str(), "kiln test", count, options);
  cupsFreeOptions(count, options);
  return id;
}

ipp_jstate_t JobState(const char* queue, int id) {
  cups_job_t* jobs = nullptr;
  const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue, 0, CUPS_WHICHJOBS_ALL);
  ipp_jstate_t state = IPP_JSTATE_ABORTED;
  for (int i = 0; i < count; ++i) {
    if (jobs[i].id == id) state = jobs[i].state;
  }
  cupsFreeJobs(count, jobs);
  return state;
}

bool JobStaysPending(const char* queue, int id, std::chrono::milliseconds period) {
  const auto end = std::chrono::steady_clock::now() + period;
  while (std::chrono::steady_clock::now() < end) {
    if (JobState(queue, id) != IPP_JSTATE_PENDING) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

bool JobCompletes(const char* queue, int id) {
  for (int i = 0; i < 200; ++i) {
    if (JobState(queue, id) == IPP_JSTATE_COMPLETED) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
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
