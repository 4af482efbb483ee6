// The driver check and the queue hold on the spooler. Wine's spooler has no printer to
// pause here, so the hold's rules run against a stand-in spooler.

#include "platform/windows/spooler.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include "platform/os_probes.h"
#include "platform/print_queue_hold.h"
#include "platform/queue_hold_entry.h"
#include "platform/queue_hold_journal.h"

namespace kiln::platform {
namespace {

constexpr const char* kDriver = "Orvix T08 Series";

class FakeSpooler final : public Spooler {
 public:
  std::optional<std::vector<SpoolerQueue>> Queues() override {
    if (!answering) return std::nullopt;
    std::vector<SpoolerQueue> list;
    for (const auto& [name, queue] : queues) list.push_back(queue);
    return list;
  }
  SpoolerLookup IsPaused(const std::string& name, bool* isPaused) override {
    if (!answering || silent.contains(name)) return SpoolerLookup::kUnknown;
    const auto found = queues.find(name);
    if (found == queues.end()) return SpoolerLookup::kGone;
    *isPaused = found->second.paused;
    return SpoolerLookup::kFound;
  }
  DWORD Pause(const std::string& name) override {
    paused.push_back(name);
    if (refuse) return ERROR_ACCESS_DENIED;
    queues[name].paused = true;
    return ERROR_SUCCESS;
  }
  DWORD Resume(const std::string& name) override {
    resumed.push_back(name);
    queues[name].paused = false;
    return ERROR_SUCCESS;
  }
  void Add(const std::string& name, const std::string& driver, bool isPaused = false) {
    queues[name] = {name, "USB001", driver, isPaused};
  }

  std::map<std::string, SpoolerQueue> queues;
  std::vector<std::string> paused;   // every Pause asked for
  std::vector<std::string> resumed;  // every Resume asked for
  bool answering = true;
  std::set<std::string> silent;  // queues whose state the spooler does not tell
  bool refuse = false;
};

// The stand-in spooler, and the hold journal in a fresh local application data folder.
class SpoolerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("kiln-spooler-test-" + std::to_string(::GetCurrentProcessId()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", folder_.wstring().c_str());
    UseSpooler(&spooler_);
  }
  void TearDown() override {
    UseSpooler(nullptr);
    std::filesystem::remove_all(folder_);
  }
  std::filesystem::path Journal() const { return folder_ / "Kiln" / "held-queues"; }
  std::size_t Entries() const {
    if (!std::filesystem::exists(Journal())) return 0;
    return std::distance(std::filesystem::directory_iterator(Journal()), {});
  }

  FakeSpooler spooler_;
  std::filesystem::path folder_;
};

TEST_F(SpoolerTest, DriverCheckCountsPrintersOfTheDriverWhateverTheCase) {
  spooler_.Add("Office", kDriver);
  spooler_.Add("Office (copy 1)", "ORVIX t08 series");
  spooler_.Add("Other", "Orvix T08 Series Fax");
  EXPECT_EQ(SystemInstalledPrinters().CountInstalledPrinters(kDriver), 2u);
  EXPECT_EQ(SystemInstalledPrinters().CountInstalledPrinters("Orvix T10"), 0u);
  EXPECT_EQ(SystemInstalledPrinters().CountInstalledPrinters(""), 0u);
  spooler_.answering = false;
  EXPECT_EQ(SystemInstalledPrinters().CountInstalledPrinters(kDriver), 0u);
}

TEST_F(SpoolerTest, HoldPausesOnlyRunningQueuesOfTheDriverAndResumesOnlyThoseStillPaused) {
  spooler_.Add("Office", kDriver);
  spooler_.Add("Lab", kDriver);
  spooler_.Add("Paused before", kDriver, true);
  spooler_.Add("Other printer", "Another Driver");
  {
    PrintQueueHold hold = PrintQueueHold::Hold({"", "", kDriver});
    EXPECT_EQ(hold.result(), QueueHoldResult::kHeld);
    EXPECT_EQ(spooler_.paused, (std::vector<std::string>{"Lab", "Office"}));
    EXPECT_EQ(Entries(), 2u);
    // Someone resumes one meanwhile: it is no longer Kiln's to resume.
    spooler_.queues["Lab"].paused = false;
    EXPECT_TRUE(hold.Release());
  }
  EXPECT_EQ(spooler_.resumed, std::vector<std::string>{"Office"});
  EXPECT_TRUE(spooler_.queues["Paused before"].paused);
  EXPECT_EQ(Entries(), 0u);
}

// A queue whose state cannot be read stays paused and keeps its entry for the next start;
// the others are resumed, and the hold is over either way.
TEST_F(SpoolerTest, QueueThatCannotBeResumedNowKeepsItsEntry) {
  spooler_.Add("Office", kDriver);
  spooler_.Add("Lab", kDriver);
  PrintQueueHold hold = PrintQueueHold::Hold({"", "", kDriver});
  ASSERT_EQ(hold.pausedQueues().size(), 2u);
  spooler_.silent.insert("Lab");
  EXPECT_FALSE(hold.Release());
  EXPECT_EQ(spooler_.resumed, std::vector<std::string>{"Office"});
  EXPECT_EQ(Entries(), 1u);
  EXPECT_TRUE(hold.Release()) << "a second release has nothing left to do";
  EXPECT_EQ(spooler_.resumed.size(), 1u);
}

TEST_F(SpoolerTest, RefusedPauseIsNotPermittedAndLeavesNoEntry) {
  spooler_.Add("Office", kDriver);
  spooler_.refuse = true;
  PrintQueueHold hold = PrintQueueHold::Hold({"", "", kDriver});
  EXPECT_EQ(hold.result(), QueueHoldResult::kNotPermitted);
  EXPECT_EQ(hold.unpausedQueues(), std::vector<std::string>{"Office"});
  EXPECT_EQ(Entries(), 0u);
  EXPECT_TRUE(hold.Release());
  EXPECT_TRUE(spooler_.resumed.empty());
}

TEST_F(SpoolerTest, SpoolerThatDoesNotAnswerHoldsNothing) {
  spooler_.Add("Office", kDriver);
  spooler_.answering = false;
  const PrintQueueHold hold = PrintQueueHold::Hold({"", "", kDriver});
  EXPECT_EQ(hold.result(), QueueHoldResult::kNoPrintServer);
  EXPECT_TRUE(spooler_.paused.empty());
}

// A holder that was killed left its entries: the next start resumes the queue it paused
// while it is still paused, and drops the entry of one someone resumed since. The hold of
// a Kiln that still runs is its own to end.
TEST_F(SpoolerTest, QueuesLeftHeldByAKilledHolderAreResumedAtStart) {
  spooler_.Add("Office", kDriver, true);
  spooler_.Add("Lab", kDriver, false);
  spooler_.Add("Held by a running Kiln", kDriver, true);
  std::filesystem::create_directories(Journal());
  auto record = [&](const std::string& queue, const ProcessIdentity& holder) {
    std::ofstream(Journal() / (queue + ".hold"), std::ios::binary)
        << HoldEntryText(queue, "spooler", KilnPauseReason(holder.pid), holder);
  };
  const ProcessIdentity ended{0x7ffffff0, 1, ""};
  record("Office", ended);
  record("Lab", ended);
  const std::optional<ProcessIdentity> running = IdentifyProcess(CurrentProcessId());
  ASSERT_TRUE(running);
  record("Held by a running Kiln", *running);
  // The same PID started at another time is another process: its holder ended.
  record("Holder PID reused", {running->pid, running->startTime + 1, ""});
  spooler_.Add("Holder PID reused", kDriver, true);

  ResumeQueuesLeftHeld();
  std::sort(spooler_.resumed.begin(), spooler_.resumed.end());  // in the folder's order
  EXPECT_EQ(spooler_.resumed, (std::vector<std::string>{"Holder PID reused", "Office"}));
  EXPECT_EQ(Entries(), 1u);
  EXPECT_TRUE(spooler_.queues["Held by a running Kiln"].paused);
}

// Wine's own spooler: the list can be read, and no printer uses a driver nobody has.
TEST(WindowsSpooler, DriverCheckOnTheSystemSpooler) {
  if (!SystemSpooler().Queues()) GTEST_SKIP() << "the spooler service does not answer here";
  EXPECT_EQ(SpoolerInstalledPrinters(SystemSpooler()).CountInstalledPrinters("Kiln No Such Driver"),
            0u);
}

// The language-monitor files are looked for in the spooler's version-3 driver folder;
// KILN_DRIVER_DIR moves it, without a trailing separator.
TEST(WindowsProbes, DriverFolderIsTheSpoolersVersion3Folder) {
  ::SetEnvironmentVariableW(L"KILN_DRIVER_DIR", nullptr);
  std::string folder = SystemProbes().GetDriverDir();
  for (char& c : folder) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_TRUE(folder.ends_with("\\spool\\drivers\\x64\\3")) << folder;
  ::SetEnvironmentVariableW(L"KILN_DRIVER_DIR", L"C:\\Kiln drivers\\");
  EXPECT_EQ(SystemProbes().GetDriverDir(), "C:\\Kiln drivers");
  ::SetEnvironmentVariableW(L"KILN_DRIVER_DIR", nullptr);
}

}  // namespace
}  // namespace kiln::platform
