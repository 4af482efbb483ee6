// Holding a printer's print queues against a private cupsd: paused while the hold
// lives, resumed after it, jobs kept pending meanwhile; queues of other printers and
// queues stopped before are left as they are. A holder killed before it could resume
// its queues leaves them to the next start of kiln, or to the next hold.

#include "platform/print_queue_hold.h"

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "support/child_process.h"
#include "support/private_cupsd.h"
#include "support/temp_dir.h"

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
  void SetUp() override { ::setenv("KILN_LOCK_DIR", locks_.path().c_str(), 1); }
  void TearDown() override { ::unsetenv("KILN_LOCK_DIR"); }

  void StartCupsd(std::string_view policyLimits = {}) {
    if (!testing::CupsdAvailable()) {
      GTEST_SKIP() << "cupsd or lpadmin is not installed (scripts/deps installs cups-daemon "
                      "and cups-client)";
    }
    ASSERT_TRUE(cupsd_.Start(policyLimits)) << "the private cupsd did not come up";
  }

  // Files of the queue-hold journal (besides the lock files in the same folder tree).
  std::size_t JournalEntries() const {
    std::size_t entries = 0;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(locks_.path() / "global", error)) {
      if (entry.path().extension() == ".hold") ++entries;
    }
    return entries;
  }

  // A holder process that pauses the printer's queues and is killed with SIGKILL while
  // it holds them, as by a crash: nothing of it runs after the kill.
  void PauseInKilledHolder() {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
      ::close(ready[0]);
      PrintQueueHold hold = PrintQueueHold::Hold(kPrinter);
      const char paused = static_cast<char>(hold.pausedQueues().size());
      if (::write(ready[1], &paused, 1) != 1) ::_exit(1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char paused = 0;
    const bool told = ::read(ready[0], &paused, 1) == 1;
    ::close(ready[0]);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ASSERT_TRUE(told);
    ASSERT_EQ(paused, 1);
    ASSERT_EQ(QueueStopped("Photo"), true) << "the killed holder's queue stays paused";
  }

  // Runs the kiln program once to its end (a mode that needs no printer).
  void StartKiln() {
    testing::TempDir folder;
    testing::ChildProcess kiln(
        {KILN_PROGRAM, "--dir", folder.path().string(), "-CheckBinVersion", "--report-stdout"},
        folder.File("stdout.txt"));
    ASSERT_TRUE(kiln.started());
    ASSERT_EQ(kiln.WaitFor(60s), 0);
  }

  testing::TempDir locks_;
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

// A queue deleted while held needs no resume; a queue paused by someone else after the
// hold ended is not resumed by it a second time.
TEST_F(PrintQueueHoldTest, ReleaseCountsADeletedQueueAsResumedAndResumesOnlyOnce) {
  StartCupsd();
  if (IsSkipped()) return;
  ASSERT_TRUE(cupsd_.AddQueue("Photo", kDriver));
  ASSERT_TRUE(cupsd_.AddQueue("Office", kDriver));
  {
    PrintQueueHold hold = PrintQueueHold::Hold(kPrinter);
    ASSERT_EQ(hold.pausedQueues().size(), 2u);
    ASSERT_TRUE(cupsd_.RemoveQueue("Office"));
    EXPECT_TRUE(hold.Release());
    ASSERT_EQ(std::system("/usr/sbin/cupsdisable Photo"), 0);
  }  // the hold ends
  EXPECT_EQ(QueueStopped("Photo"), true);
  EXPECT_EQ(JournalEntries(), 0u);
}

TEST_F(PrintQueueHoldTest, NoPrintServerHoldsNothing) {
  StartCupsd();
  if (IsSkipped()) return;
  cupsd_.Stop();
  PrintQueueHold hold = PrintQueueHold::Hold(kPrinter);
  EXPECT_EQ(hold.result(), QueueHoldResult::kNoPrintServer);
  EXPECT_TRUE(hold.pausedQueues().empty());
}

TEST_F(PrintQueueHoldTest, TheNextStartResumesTheQueuesOfAKilledHolder) {
  StartCupsd();
  if (IsSkipped()) return;
  ASSERT_TRUE(cupsd_.AddQueue("Photo", kDriver));
  ASSERT_TRUE(cupsd_.AddQueue("Office", "Generic"));
  ASSERT_EQ(std::system("/usr/sbin/cupsdisable Office"), 0);  // paused by someone else

  PauseInKilledHolder();
  if (HasFatalFailure()) return;
  EXPECT_EQ(JournalEntries(), 1u);
  StartKiln();
  EXPECT_EQ(QueueStopped("Photo"), false);
  EXPECT_EQ(QueueStopped("Office"), true) << "a queue no holder recorded was resumed";
  EXPECT_EQ(JournalEntries(), 0u);
}

TEST_F(PrintQueueHoldTest, ALiveHoldersQueueIsLeftPausedByAnotherStart) {
  StartCupsd();
  if (IsSkipped()) return;
  ASSERT_TRUE(cupsd_.AddQueue("Photo", kDriver));
  PrintQueueHold hold = PrintQueueHold::Hold(kPrinter);
  ASSERT_EQ(hold.pausedQueues(), std::vector<std::string>{"Photo"});
  StartKiln();
  EXPECT_EQ(QueueStopped("Photo"), true);
  EXPECT_EQ(JournalEntries(), 1u);
  EXPECT_TRUE(hold.Release());
  EXPECT_EQ(QueueStopped("Photo"), false);
  EXPECT_EQ(JournalEntries(), 0u);
}

TEST_F(PrintQueueHoldTest, ANewHoldFirstResumesAKilledHoldersQueueAndThenHoldsIt) {
  StartCupsd();
  if (IsSkipped()) return;
  ASSERT_TRUE(cupsd_.AddQueue("Photo", kDriver));
  PauseInKilledHolder();
  if (HasFatalFailure()) return;
  {
    PrintQueueHold hold = PrintQueueHold::Hold(kPrinter);
    // Taken for a queue stopped by someone else, it would be skipped and stay paused.
    EXPECT_EQ(hold.pausedQueues(), std::vector<std::string>{"Photo"});
    EXPECT_EQ(JournalEntries(), 1u) << "only the new hold's entry is left";
  }
  EXPECT_EQ(QueueStopped("Photo"), false);
  EXPECT_EQ(JournalEntries(), 0u);
}

}  // namespace
}  // namespace kiln::platform
