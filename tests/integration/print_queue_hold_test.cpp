// Holding a printer's print queues against a private cupsd: paused while the hold
// lives, resumed after it, jobs kept pending meanwhile; queues of other printers and
// queues stopped before are left as they are. A holder killed before it could resume
// its queues leaves them to the next start of kiln, or to the next hold.

#include "platform/print_queue_hold.h"

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "support/child_process.h"
#include "support/lock_folder.h"
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
  void StartCupsd(std::string_view policyLimits = {}) {
    if (!testing::CupsdAvailable()) {
      GTEST_SKIP() << "cupsd or lpadmin is not installed (scripts/deps installs cups-daemon "
                      "and cups-client)";
    }
    ASSERT_TRUE(cupsd_.Start(policyLimits)) << "the private cupsd did not come up";
  }

  // A private cupsd with the queue "Photo" of the printer's driver; false when the test
  // cannot go on (skipped, or the server or queue did not come up).
  bool ServerWithPhotoQueue() {
    StartCupsd();
    if (IsSkipped() || HasFailure()) return false;
    EXPECT_TRUE(cupsd_.AddQueue("Photo", kDriver));
    return !HasFailure();
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

  // The one journal entry there is; empty when there is not exactly one.
  std::string JournalEntry() const {
    std::vector<std::string> entries;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(locks_.path() / "global", error)) {
      if (entry.path().extension() == ".hold") entries.push_back(entry.path().string());
    }
    return entries.size() == 1 ? entries[0] : std::string();
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

  testing::LockFolderScope locks_;
  PrivateCupsd cupsd_;
};

// The queue's state message; empty when the server has no such queue.
std::string StateMessage(const std::string& name) {
  for (const PrintQueue& queue : ListPrintQueues()) {
    if (queue.name == name) return queue.stateMessage;
  }
  return {};
}

// Stops the queue as an administrator does, with a reason.
bool Disable(const char* queue, const std::string& reason) {
  const std::string command = "/usr/sbin/cupsdisable -r '" + reason + "' " + queue;
  return std::system(command.c_str()) == 0;
}

// The user files of other users belong to in these tests; nullopt unless this process
// runs as root and so can give a file away.
std::optional<uid_t> OtherUser() {
  const passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() != 0 || nobody == nullptr) return std::nullopt;
  return nobody->pw_uid;
}

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
  EXPECT_EQ(JournalEntries(), 0u) << "a pause the server refused stays recorded";
  EXPECT_TRUE(hold.Release());
}

// A queue deleted while held needs no resume; a queue paused by someone else after the
// hold ended is not resumed by it a second time.
TEST_F(PrintQueueHoldTest, ReleaseCountsADeletedQueueAsResumedAndResumesOnlyOnce) {
  if (!ServerWithPhotoQueue()) return;
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
  if (!ServerWithPhotoQueue()) return;
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
  if (!ServerWithPhotoQueue()) return;
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
  if (!ServerWithPhotoQueue()) return;
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

// What a killed holder's entry says is trusted only while it is this user's alone, and a
// queue is resumed only while it is still stopped for the reason Kiln paused it with:
// an administrator's pause, or a forged entry, never ends with a queue resumed. An entry
// Kiln does not trust is left where it is; a trusted one whose queue is no longer
// Kiln's to resume is removed.
TEST_F(PrintQueueHoldTest, TheNextStartResumesOnlyAQueueItsOwnEntryStillHolds) {
  struct Case {
    const char* name;
    const char* adminReason;  // the administrator stops Photo again with it; null: not
    void (*entry)(const std::string& path);
    bool byOtherUser;
    std::size_t entriesLeft;
  };
  static uid_t otherUser = 0;
  const Case cases[] = {
      {"stopped again by the administrator for a jam", "paper jam", [](const std::string&) {},
       false, 0},
      {"forged to name a queue the administrator stopped", nullptr,
       [](const std::string& path) {
         std::string text = testing::TempDir::Read(path);
         text.replace(text.find("queue=Photo"), 11, "queue=Office");
         std::ofstream(path, std::ios::trunc) << text;
       },
       false, 0},
      {"owned by another user", nullptr,
       [](const std::string& path) { ASSERT_EQ(::chown(path.c_str(), otherUser, -1), 0); }, true,
       1},
      {"writable by others", nullptr,
       [](const std::string& path) { ASSERT_EQ(::chmod(path.c_str(), 0666), 0); }, false, 1},
  };
  if (!ServerWithPhotoQueue()) return;
  ASSERT_TRUE(cupsd_.AddQueue("Office", "Generic"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.byOtherUser) {
      const std::optional<uid_t> other = OtherUser();
      if (!other) {
        std::printf("[  SKIPPED ] %s: only root can give a file to another user\n", c.name);
        continue;
      }
      otherUser = *other;
    }
    ASSERT_TRUE(Disable("Office", "broken fuser - do not use"));
    PauseInKilledHolder();
    if (HasFatalFailure()) return;
    const std::string entry = JournalEntry();
    ASSERT_FALSE(entry.empty());
    if (c.adminReason != nullptr) {
      ASSERT_TRUE(Disable("Photo", c.adminReason));
    }
    c.entry(entry);
    StartKiln();
    EXPECT_EQ(QueueStopped("Photo"), true);
    EXPECT_EQ(QueueStopped("Office"), true);
    EXPECT_EQ(StateMessage("Office"), "broken fuser - do not use");
    EXPECT_EQ(JournalEntries(), c.entriesLeft);
    if (c.entriesLeft > 0) {
      EXPECT_TRUE(std::filesystem::exists(entry));
    }
    std::filesystem::remove(entry);
    ASSERT_EQ(std::system("/usr/sbin/cupsenable Photo Office"), 0);
  }
}

TEST_F(PrintQueueHoldTest, AnAdministratorsPauseDuringTheHoldOutlastsIt) {
  if (!ServerWithPhotoQueue()) return;
  {
    PrintQueueHold hold = PrintQueueHold::Hold(kPrinter);
    ASSERT_EQ(hold.pausedQueues(), std::vector<std::string>{"Photo"});
    EXPECT_EQ(StateMessage("Photo"), KilnPauseReason(::getpid()));
    EXPECT_EQ(KilnPauseReason(1234),
              "Paused by Kiln (PID 1234) while it updates the printer's firmware");
    ASSERT_TRUE(Disable("Photo", "maintenance"));
    EXPECT_TRUE(hold.Release()) << "nothing Kiln paused stays paused";
  }
  EXPECT_EQ(QueueStopped("Photo"), true);
  EXPECT_EQ(StateMessage("Photo"), "maintenance");
  EXPECT_EQ(JournalEntries(), 0u);
}

// Unrecorded, a pause would outlast a crash for good: a queue whose pause cannot be
// recorded is not paused, and the warning says why.
TEST_F(PrintQueueHoldTest, AJournalThatCannotBeWrittenPausesNothingAndSaysSo) {
  struct Case {
    const char* name;
    bool directory;  // else a plain file stands where the journal's folder belongs
  };
  if (!ServerWithPhotoQueue()) return;
  const std::filesystem::path global = locks_.path() / "global";
  const std::string journal = (global / "held-queues").string();
  std::filesystem::create_directories(global);
  ASSERT_EQ(::chmod(global.c_str(), 01777), 0);
  for (const Case& c : {Case{"a plain file", false}, Case{"another user's folder", true}}) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(journal);
    if (c.directory) {
      const std::optional<uid_t> other = OtherUser();
      if (!other) {
        std::printf("[  SKIPPED ] %s: only root can give a folder to another user\n", c.name);
        continue;
      }
      std::filesystem::create_directory(journal);
      ASSERT_EQ(::chown(journal.c_str(), *other, -1), 0);
      ASSERT_EQ(::chmod(journal.c_str(), 01777), 0);
    } else {
      locks_.Write("global/held-queues", "");
    }
    PrintQueueHold hold = PrintQueueHold::Hold(kPrinter);
    EXPECT_TRUE(hold.pausedQueues().empty());
    EXPECT_EQ(hold.unpausedQueues(), std::vector<std::string>{"Photo"});
    EXPECT_EQ(QueueStopped("Photo"), false);
    EXPECT_EQ(QueueHoldWarning(hold),
              "Print queue Photo could not be paused (the queue-hold journal " + journal +
                  " cannot be written): a print job may interrupt the "
                  "update.");
  }
}

}  // namespace
}  // namespace kiln::platform
