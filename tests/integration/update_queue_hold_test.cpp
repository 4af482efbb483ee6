// Updates on the test bed with a private cupsd: the printer's print queue is paused
// while the firmware is written and resumed afterwards, whether the update passes or
// fails, and a job submitted meanwhile waits for the end.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "config/firmware_package.h"
#include "protocol/download_observer.h"
#include "protocol/firmware_download.h"
#include "support/download_recorder.h"
#include "support/printer_builder.h"
#include "support/private_cupsd.h"
#include "support/program_folder_builder.h"
#include "test_bed_fixture.h"

namespace kiln {
namespace {

constexpr const char* kQueue = "Photo";  // by the driver name; prints to /dev/null
constexpr const char* kSerialQueue = "BySerial";
constexpr const char* kDriver = "Orvix Photo Printer T08";

// Looks at the queue while the printer programs its flash and again when the download
// starts looking for the printer: one job is submitted at the first look.
class QueueWatcher final : public testing::DownloadRecorder {
 public:
  explicit QueueWatcher(const testing::PrivateCupsd& cupsd) : cupsd_(cupsd) {}
  void OnDownloadStage(Stage stage) override {
    DownloadRecorder::OnDownloadStage(stage);
    if (stage == Stage::kCountdown) {
      const bool photo = testing::QueueStopped(kQueue) == true;
      const bool serial = testing::QueueStopped(kSerialQueue) == true;
      bothStoppedDuringCountdown = photo && serial;
      eitherStoppedDuringCountdown = photo || serial;
      job = testing::SubmitJob(cupsd_, kQueue);
    } else if (stage == Stage::kReconnecting && job > 0) {
      jobStateWhileReconnecting = testing::JobState(kQueue, job);
    }
  }
  bool bothStoppedDuringCountdown = false;
  bool eitherStoppedDuringCountdown = false;
  int job = 0;
  std::optional<ipp_jstate_t> jobStateWhileReconnecting;

 private:
  const testing::PrivateCupsd& cupsd_;
};

class QueueHeldOnTestBed : public kiln::testing::TestBedTest {
 protected:
  void SetUp() override {
    ::setenv("KILN_TIME_SCALE", "0.01", 0);
    TestBedTest::SetUp();
    if (!testing::CupsdAvailable()) GTEST_SKIP() << "cupsd or lpadmin is not installed";
    ASSERT_TRUE(cupsd_.Start()) << "the private cupsd did not come up";
    // Named by the serial number of the printer's USB device, which the link does not
    // know: the update finds it from the node.
    ASSERT_TRUE(cupsd_.AddQueue(kSerialQueue, "Generic", "ipp://Orvix/T08?serial=HELD1"));
    ASSERT_TRUE(cupsd_.AddQueue(kQueue, kDriver));
  }

  // An update of an M07 (serial HELD1), the printer built as printer says.
  bool Update(testing::PrinterBuilder printer = testing::PrinterBuilder(7)) {
    Start({printer.Serial("HELD1")});
    testing::ProgramFolderBuilder(dir_).Package("fw.bin", 7, "2.00", {.size = 0x30000});
    const std::string image = dir_.File("fw.bin");
    protocol::FlashRequest request;
    request.openModel = 7;
    request.reopenModel = 7;
    request.targetModel = 7;
    request.connectedModel = 7;
    request.driverName = kDriver;
    request.image = config::LoadFile(image);
    request.waitSeconds = 3;
    request.waitForRestart = true;
    request.facts = protocol::ModelFactsFor(request);
    result_ = protocol::FirmwareDownload().FlashFirmware(request, &watcher_);
    return result_.flashed;
  }
  void ExpectResumedWithTheJobDone() {
    EXPECT_TRUE(watcher_.bothStoppedDuringCountdown);
    EXPECT_EQ(testing::QueueStopped(kQueue), false);
    EXPECT_EQ(testing::QueueStopped(kSerialQueue), false);
    EXPECT_TRUE(testing::JobCompletes(kQueue, watcher_.job));
  }

  testing::PrivateCupsd cupsd_;
  testing::TempDir dir_;
  protocol::FlashResult result_;
  QueueWatcher watcher_{cupsd_};
};

TEST_F(QueueHeldOnTestBed, PausedDuringAPassingUpdateWithTheJobPendingUntilTheEnd) {
  ASSERT_TRUE(Update()) << result_.text.c_str();
  EXPECT_EQ(watcher_.jobStateWhileReconnecting, IPP_JSTATE_PENDING);
  ExpectResumedWithTheJobDone();
}

TEST_F(QueueHeldOnTestBed, ResumedAfterAFailedUpdate) {
  ASSERT_FALSE(Update(testing::PrinterBuilder(7).NeverReturns()));
  ExpectResumedWithTheJobDone();
}

// A pause the journal cannot record would outlast a crash for good: the update goes on
// with the queues running and says why.
TEST_F(QueueHeldOnTestBed, AJournalThatCannotBeWrittenLeavesTheQueuesRunningAndSaysSo) {
  std::filesystem::create_directories(locks_.path() / "global");
  const std::string journal = locks_.Write("global/held-queues", "");
  ASSERT_TRUE(Update()) << result_.text.c_str();
  EXPECT_FALSE(watcher_.eitherStoppedDuringCountdown);
  EXPECT_NE(watcher_.WarningLines().find("Print queues BySerial, Photo could not be paused (the "
                                         "queue-hold journal " +
                                         journal + " cannot be written)"),
            std::string::npos)
      << watcher_.WarningLines();
}

}  // namespace
}  // namespace kiln
