#include "platform/queue_hold_journal.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/temp_dir.h"

namespace kiln::platform {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

std::size_t FilesIn(const std::string& folder) {
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    (void)entry;
    ++files;
  }
  return files;
}

class QueueHoldJournalTest : public ::testing::Test {
 protected:
  // A child process records a hold of the queue and ends. It is left unreaped (ended,
  // but its PID still taken) until the test reaps it.
  pid_t EndedHolder(const char* queue, const char* server) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(journal_.Record(queue, server, "Paused by Kiln").empty() ? 1 : 0);
    siginfo_t info{};
    ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT);
    EXPECT_EQ(info.si_status, 0) << "the holder recorded nothing";
    return child;
  }

  static void Reap(pid_t child) { ::waitpid(child, nullptr, 0); }

  TempDir dir_;
  QueueHoldJournal journal_{dir_.File("held-queues")};
};

TEST_F(QueueHoldJournalTest, RecordsEachHoldUntilRemovedAndKeepsARunningHoldersEntries) {
  const std::string photo = journal_.Record("Photo", "/run/cups/cups.sock:631", "Paused by Kiln");
  const std::string office = journal_.Record("Office", "/run/cups/cups.sock:631", "Paused by Kiln");
  ASSERT_FALSE(photo.empty());
  ASSERT_NE(photo, office);
  EXPECT_EQ(fs::path(photo).parent_path(), journal_.folder());
  const std::string written = TempDir::Read(photo);
  EXPECT_NE(written.find("queue=Photo\n"), std::string::npos) << written;
  EXPECT_NE(written.find("pid=" + std::to_string(::getpid()) + "\n"), std::string::npos);
  EXPECT_NE(written.find("server=/run/cups/cups.sock:631\n"), std::string::npos);
  EXPECT_NE(written.find("reason=Paused by Kiln\n"), std::string::npos);

  EXPECT_TRUE(journal_.FindAbandoned("/run/cups/cups.sock:631").empty());
  EXPECT_EQ(FilesIn(journal_.folder()), 2u) << "a running holder's entries were touched";

  QueueHoldJournal::Remove(photo);
  EXPECT_FALSE(fs::exists(photo));
  EXPECT_TRUE(fs::exists(office));
  EXPECT_EQ(FilesIn(journal_.folder()), 1u);

  EXPECT_TRUE(journal_.Record("Bad\nqueue=Other", "srv", "Paused by Kiln").empty());
  EXPECT_TRUE(journal_.Record("Photo", "srv", "Paused\nqueue=Other").empty());
}

TEST_F(QueueHoldJournalTest, FindsTheEntriesOfEndedHoldersForTheirPrintServerOnly) {
  const pid_t holder = EndedHolder("Photo", "srv");
  const std::vector<RecordedHold> found = journal_.FindAbandoned("srv");
  ASSERT_EQ(found.size(), 1u) << "an ended holder not yet reaped counts as ended";
  EXPECT_EQ(found[0].queue, "Photo");
  EXPECT_EQ(found[0].printServer, "srv");
  EXPECT_EQ(found[0].reason, "Paused by Kiln");
  EXPECT_EQ(found[0].holder.pid, holder);
  EXPECT_TRUE(fs::exists(found[0].entryPath)) << "removing is the caller's job";
  EXPECT_TRUE(journal_.FindAbandoned("other:631").empty());
  Reap(holder);
  EXPECT_EQ(journal_.FindAbandoned("srv").size(), 1u);

  // An entry with this process's PID but another start time was left by an ended
  // process whose PID this one reuses.
  const std::string entry = journal_.Record("Office", "srv", "Paused by Kiln");
  std::string text = TempDir::Read(entry);
  const std::size_t start = text.find("start=");
  ASSERT_NE(start, std::string::npos);
  text.insert(start + 6, "9");
  dir_.Write("held-queues/" + fs::path(entry).filename().string(), text);
  EXPECT_EQ(journal_.FindAbandoned("srv").size(), 2u);
}

TEST_F(QueueHoldJournalTest, DamagedAndForeignEntriesAreSkippedAndOnlyOursDamagedRemoved) {
  const pid_t holder = EndedHolder("Photo", "srv");
  Reap(holder);
  const std::string genuine = journal_.FindAbandoned("srv").at(0).entryPath;
  const std::string outside = dir_.Write("outside.hold", TempDir::Read(genuine));
  const std::string garbage = dir_.Write("held-queues/1-00.hold", "queue=\xff\x01\npid=x\n");
  const std::string empty = dir_.Write("held-queues/2-00.hold", "");
  const std::string linked = dir_.File("held-queues/3-00.hold");
  fs::create_symlink(outside, linked);
  fs::create_directory(dir_.File("held-queues/4-00.hold"));
  // Opened for reading, a FIFO would wait for a writer that never comes.
  const std::string fifo = dir_.File("held-queues/6-00.hold");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string text = TempDir::Read(genuine);
  text.replace(text.find("pid="), text.find('\n', text.find("pid=")) - text.find("pid="), "pid=0");
  const std::string pidZero = dir_.Write("held-queues/5-00.hold", text);

  const std::vector<RecordedHold> found = journal_.FindAbandoned("srv");
  ASSERT_EQ(found.size(), 1u) << "an entry was read through a link";
  EXPECT_EQ(found[0].entryPath, genuine);
  EXPECT_FALSE(fs::exists(garbage));
  EXPECT_FALSE(fs::exists(empty));
  EXPECT_FALSE(fs::exists(pidZero)) << "an entry naming no process was taken for one";
  EXPECT_TRUE(fs::is_symlink(linked));
  EXPECT_TRUE(fs::exists(outside));
  EXPECT_TRUE(fs::is_directory(dir_.File("held-queues/4-00.hold")));
  EXPECT_TRUE(fs::is_fifo(fifo));
}

// An entry is trusted only while it is this user's and no one else may write it; one
// that is not trusted is never removed, damaged or not (root included: the folder is
// shared by every user, and root must not take another user's word for a hold).
TEST_F(QueueHoldJournalTest, EntriesOthersOwnOrMayWriteAreNeitherTakenNorRemoved) {
  const pid_t holder = EndedHolder("Photo", "srv");
  Reap(holder);
  const std::string genuine = journal_.FindAbandoned("srv").at(0).entryPath;
  const std::string damaged = dir_.Write("held-queues/1-00.hold", "queue=\n");
  ASSERT_EQ(::chmod(damaged.c_str(), 0600), 0);
  const passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() == 0 && nobody != nullptr) {
    ASSERT_EQ(::chown(genuine.c_str(), nobody->pw_uid, -1), 0);
    ASSERT_EQ(::chown(damaged.c_str(), nobody->pw_uid, -1), 0);
  } else {
    std::printf("[  SKIPPED ] entries of another user: only root can give a file away\n");
    ASSERT_EQ(::chmod(genuine.c_str(), 0622), 0);
    ASSERT_EQ(::chmod(damaged.c_str(), 0622), 0);
  }
  EXPECT_TRUE(journal_.FindAbandoned("srv").empty());
  EXPECT_TRUE(fs::exists(damaged)) << "an entry not trusted was removed";

  ASSERT_EQ(::chown(genuine.c_str(), ::geteuid(), -1), 0);
  ASSERT_EQ(::chmod(genuine.c_str(), 0646), 0);
  EXPECT_TRUE(journal_.FindAbandoned("srv").empty()) << "others may write the entry";
  ASSERT_EQ(::chmod(genuine.c_str(), 0644), 0);
  EXPECT_EQ(journal_.FindAbandoned("srv").size(), 1u);
}

// Written whatever the umask says, an entry is one the next start trusts.
TEST_F(QueueHoldJournalTest, AnEntryIsNotWritableByOthersWhateverTheUmask) {
  const mode_t mask = ::umask(0);
  const pid_t holder = EndedHolder("Photo", "srv");
  ::umask(mask);
  Reap(holder);
  const std::vector<RecordedHold> found = journal_.FindAbandoned("srv");
  ASSERT_EQ(found.size(), 1u);
  struct stat info {};
  ASSERT_EQ(::stat(found[0].entryPath.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
}

// A PID taken again by a later process is told apart by the start time: a process that
// started later has a later one.
TEST(ProcessIdentity, ALaterProcessHasALaterStartTime) {
  const std::optional<ProcessIdentity> self = IdentifyProcess(::getpid());
  ASSERT_TRUE(self);
  EXPECT_EQ(self->pid, ::getpid());
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // several clock ticks
  const pid_t child = ::fork();
  if (child == 0) {
    ::pause();
    ::_exit(0);
  }
  const std::optional<ProcessIdentity> later = IdentifyProcess(child);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_TRUE(later);
  EXPECT_GT(later->startTime, self->startTime);
  EXPECT_FALSE(StillRunning(*later));
}

TEST_F(QueueHoldJournalTest, AFolderOthersMayWriteIntoOrALinkedFolderIsNotUsed) {
  Reap(EndedHolder("Photo", "srv"));
  ::chmod(journal_.folder().c_str(), 0777);
  EXPECT_TRUE(journal_.FindAbandoned("srv").empty());
  EXPECT_TRUE(journal_.Record("Office", "srv", "Paused by Kiln").empty());
  EXPECT_EQ(FilesIn(journal_.folder()), 1u);

  ::chmod(journal_.folder().c_str(), 0700);
  const QueueHoldJournal linked(dir_.File("linked"));
  fs::create_directory_symlink(journal_.folder(), linked.folder());
  EXPECT_TRUE(linked.FindAbandoned("srv").empty());
  EXPECT_TRUE(linked.Record("Office", "srv", "Paused by Kiln").empty());
  EXPECT_EQ(journal_.FindAbandoned("srv").size(), 1u);
}

}  // namespace
}  // namespace kiln::platform
