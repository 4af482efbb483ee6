// Whole updates as the worker runs them, against in-process printers with the fake
// clock: which files go in which order, the waits, and what the window shows.
#include "app/update_worker.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/package.h"
#include "protocol/command_codes.h"
#include "protocol/download_observer.h"
#include "recording_view.h"
#include "support/download_recorder.h"
#include "support/printer_builder.h"
#include "support/window_rig.h"

namespace kiln::app {
namespace {

// The window's side of the worker's events as the controller shows them, on one thread:
// on the recording view, and the download's notifications recorded.
class ViewEvents final : public WorkerEvents {
 public:
  explicit ViewEvents(RecordingView& view) : view_(view) {}
  void OnUpdateBegins() override {
    view_.EnableStart(false);
    view_.EnableExit(false);
    view_.EnableColourMode(false);
    view_.PlayAnimation(true);
  }
  void OnUpdateStatus(const char* text) override { view_.ShowStatus(text); }
  void OnVersionRead(const char* text) override { view_.ShowCurrentVersion(text); }
  void OnUpdateWorkEnds() override { view_.PlayAnimation(false); }
  void OnDownloadNotification(uint32_t kind, uint32_t value) override {
    download.OnDownloadNotification(kind, value);
  }
  void OnWarning(const char* text) override { download.OnWarning(text); }
  testing::DownloadRecorder download;

 private:
  RecordingView& view_;
};

using testing::PrinterBuilder;

// An alert after programming that is no printer error, from a printer that never restarts.
const sim::AlertReport kNoRestart = sim::AlertForDetail(0x0405, 0x50);

class Worker : public ::testing::Test {
 protected:
  void SetUp() override { view_.clock = &rig_.printers.clock; }
  // Reads the entry and the package as START does, then runs the whole update.
  WorkerOutcome Run(uint32_t connectedModel) {
    const auto [entry, package] = rig_.ReadForStart();
    EXPECT_TRUE(entry.packageFound && !package.version.empty());
    const PrinterState printer{package.targetModel >= 19, connectedModel, {}, {}};
    WorkerHandover handover{entry, package, printer, stop_};
    const WorkerServices services{&rig_.session.language, "eng", rig_.printers.Links(),
                                  &rig_.printers.clock, [this](const ModeRecord& record) {
                                    histories_.push_back(record);
                                    return std::string();
                                  }};
    UpdateWorker worker(std::move(handover), services, events_);
    return worker.Run();
  }
  std::vector<std::string> StatusesStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const auto& text : view_.statuses) {
      if (text.rfind(prefix, 0) == 0) found.push_back(text);
    }
    return found;
  }

  testing::WindowRig rig_;
  RecordingView view_;
  std::vector<ModeRecord> histories_;
  ViewEvents events_{view_};
  protocol::StopRequest stop_;
};

constexpr const char* kCpuEntry =
    "[FW_INFO1]\nModel=M07\nFile=fw7.bin\nCpu1st=1\nCpuFile=cpu7.bin\nDelay1=2\nDelay2=2\n";

TEST_F(Worker, CpuFirmwareFirstThenTenVisibleSeconds) {
  rig_.Ini(std::string(kCpuEntry) + "ActInfo=1\n");
  rig_.Package("fw7.bin", 7, "2.00");
  rig_.dir.Write("cpu7.bin", testing::MakePackage(0x2000, config::kHeaderOffsetCpu,
                                                  sim::ProductIdOfModel(7), 7, 3, "1.50"));
  sim::VirtualPrinter& printer = rig_.Printer(7, "1.00");

  EXPECT_TRUE(Run(7).firmwareWritten);
  // Delay1 and the CPU package's own 7 seconds, then Delay2 and the package's 3.
  EXPECT_EQ(events_.download.CountdownStarts(), (std::vector<uint32_t>{9, 5}));
  const auto waits = StatusesStartingWith("Waiting to write formal FW code...");
  std::vector<std::string> expected;
  for (int n = 10; n >= 1; --n)
    expected.push_back("Waiting to write formal FW code..." + std::to_string(n));
  EXPECT_EQ(waits, expected);
  const auto first = std::find(view_.statuses.begin(), view_.statuses.end(), expected[0]);
  const auto index = static_cast<std::size_t>(first - view_.statuses.begin());
  for (std::size_t i = 1; i < 10; ++i) {
    EXPECT_EQ(view_.statusTimes[index + i] - view_.statusTimes[index + i - 1], 1000u);
  }
  EXPECT_EQ(view_.statuses[index - 1], "Write flash CPU code done!");
  EXPECT_EQ(view_.statuses[index + 10],
            "Writing firmware....\n\nThis needs some minutes. Please wait.");
  ASSERT_EQ(printer.Images().size(), 2u);
  EXPECT_EQ(printer.Images()[0].writeType, 2);
  EXPECT_EQ(printer.Images()[1].writeType, 0);
}

TEST_F(Worker, FailedCpuFirmwareStopsTheUpdate) {
  rig_.Ini(kCpuEntry);
  rig_.Package("fw7.bin", 7, "2.00");
  rig_.Package("cpu7.bin", 7, "1.50", config::kHeaderOffsetCpu);
  sim::VirtualPrinter& printer = rig_.printers.Add(
      PrinterBuilder(7).Silent(sim::CommandMatch::Code(protocol::cmd::kWriteStart)));

  EXPECT_FALSE(Run(7).firmwareWritten);
  EXPECT_EQ(view_.LastStatus(),
            "Write flash CPU code fail!\n\nPlease restart the printer and then run this program "
            "again.");
  EXPECT_TRUE(StatusesStartingWith("Waiting").empty());
  EXPECT_TRUE(StatusesStartingWith("Writing firmware").empty());
  std::size_t starts = 0;
  for (const auto& record : printer.Transcript())
    starts += record.command == protocol::cmd::kWriteStart;
  EXPECT_EQ(starts, 1u) << "the normal firmware was not sent";
  EXPECT_EQ(view_.animations, (std::vector<bool>{true, false})) << "the animation stops";
  EXPECT_FALSE(view_.startEnabled || view_.exitEnabled || view_.colourModeEnabled)
      << "the buttons come back with the window's end of the update, not the worker's";
}

// Two printers and two steps: a stop during printer 1's CPU code lets that transfer and
// its check end; printer 2 gets nothing, no count follows, the normal firmware never goes.
TEST_F(Worker, StopDuringTheCpuStepStartsNoFurtherTransferOrStep) {
  rig_.Ini(std::string(kCpuEntry) + "ActInfo=1\n");
  rig_.Package("fw7.bin", 7, "2.00");
  rig_.Package("cpu7.bin", 7, "1.50", config::kHeaderOffsetCpu);
  sim::VirtualPrinter& first = rig_.Printer(7, "1.00");
  sim::VirtualPrinter& second = rig_.printers.Add(PrinterBuilder(7).Serial("SECOND"));
  // The signal comes once printer 1 has the CPU code's data.
  stop_ = [&first] {
    const auto transcript = first.Transcript();
    return std::any_of(transcript.begin(), transcript.end(),
                       [](const auto& r) { return r.command == protocol::cmd::kFirmwareData; })
               ? SIGTERM
               : 0;
  };

  EXPECT_FALSE(Run(7).firmwareWritten);
  ASSERT_EQ(first.Images().size(), 1u);
  EXPECT_EQ(first.Images()[0].writeType, 2);
  EXPECT_TRUE(second.Images().empty());
  EXPECT_TRUE(StatusesStartingWith("Waiting").empty());
  EXPECT_TRUE(StatusesStartingWith("Writing firmware").empty());
  ASSERT_EQ(histories_.size(), 1u);
  ASSERT_EQ(histories_[0].printers.size(), 1u) << "printer 2 was never sent to";
  EXPECT_EQ(histories_[0].printers[0].result, protocol::PrinterResult::kFailed)
      << "it took the CPU code only";
}

TEST_F(Worker, FailedLargeModelWriteDoesNotEndTheProgram) {
  rig_.LargeModelEntry();
  rig_.printers.Add(PrinterBuilder(25).SilentFromPacket(3));

  const WorkerOutcome outcome = Run(25);
  EXPECT_FALSE(outcome.firmwareWritten);
  EXPECT_FALSE(outcome.endProgram);
}

TEST_F(Worker, PrinterStillOnItsOldVersionAfterProgrammingFailsTheUpdate) {
  rig_.Ini("[FW_INFO1]\nModel=M07\nFile=fw7.bin\nDelay2=2\n");
  rig_.Package("fw7.bin", 7, "2.00");
  // A code at or below the transaction results: no printer error, but no restart either.
  rig_.printers.Add(PrinterBuilder(7).Version("1.05").ErrorAfterProgramming(kNoRestart));

  EXPECT_FALSE(Run(7).firmwareWritten);
  const std::string cause = "Printer 1 reports version 1.05 after programming, not 2.00.";
  // The fail texts, then the download's account of the failure on a line of its own.
  EXPECT_EQ(view_.LastStatus(),
            "Write firmware fail!\n\nPlease restart the printer and then run this program "
            "again.\nCause: " +
                cause);
  EXPECT_TRUE(StatusesStartingWith("Write firmware done!").empty());
  EXPECT_TRUE(view_.versions.empty()) << "no re-read after a failure";
}

TEST_F(Worker, EachUpdateIsRecordedWithEveryPrintersVersionsAndOutcome) {
  rig_.Ini("[FW_INFO1]\nModel=M07\nFile=fw7.bin\nDelay2=2\n");
  rig_.Package("fw7.bin", 7, "2.00");
  rig_.Printer(7, "1.05");
  rig_.printers.Add(
      PrinterBuilder(7).Version("1.05").Serial("STUCK").ErrorAfterProgramming(kNoRestart));

  EXPECT_FALSE(Run(7).firmwareWritten);
  ASSERT_EQ(histories_.size(), 1u) << "one history write per update";
  const ModeRecord& record = histories_[0];
  EXPECT_STREQ(record.mode, "window-update");
  ASSERT_TRUE(record.package.has_value());
  EXPECT_EQ(record.package->version, "2.00");
  EXPECT_EQ(record.package->sha256.size(), 64u);
  ASSERT_EQ(record.printers.size(), 2u);
  EXPECT_EQ(record.printers[0].versionBefore, "1.05");
  EXPECT_EQ(record.printers[0].versionAfter, "2.00");
  EXPECT_EQ(record.printers[0].result, protocol::PrinterResult::kUpdated);
  EXPECT_EQ(record.printers[1].serial, "STUCK");
  EXPECT_EQ(record.printers[1].result, protocol::PrinterResult::kFailed);
  EXPECT_EQ(record.printers[1].text, "Printer 2 reports version 1.05 after programming, not 2.00.");
}

// A printer that answers only as the fall-back model is asked its version on the update's
// own thread; read, it takes the alternative set before the firmware.
TEST_F(Worker, FallBackPrinterWithAReadableVersionTakesTheAlternativeSetFirst) {
  rig_.Ini(
      "[FW_INFO1]\nModel=M25\nCodeName=code.bin\nTableName=table.bin\nFwName=fw25.bin\n"
      "OeeCodeName=oeecode.bin\nOeeTableName=oeetable.bin\nOeeFwName=oeefw.bin\nDelay2=2\n");
  rig_.folder.Package("fw25.bin", 25, "3.00")
      .Package("oeefw.bin", 19, "2.90")
      .File("code.bin", std::string(0x100, 'c'))
      .File("table.bin", std::string(0x80, 't'))
      .File("oeecode.bin", std::string(0x100, 'o'))
      .File("oeetable.bin", std::string(0x80, 'p'));
  sim::VirtualPrinter& printer = rig_.Printer(19, "2.80");

  (void)Run(19);
  const auto files = printer.Files();
  ASSERT_FALSE(files.empty());
  EXPECT_EQ(files[0].bytes, std::vector<uint8_t>(0x100, 'o')) << "the alternative code file first";
}

TEST_F(Worker, SmallModelWaitsFiveSecondsThenShowsTheNewVersion) {
  rig_.Ini("[FW_INFO1]\nModel=M07\nFile=fw7.bin\nDelay2=2\n");
  rig_.Package("fw7.bin", 7, "2.00");
  rig_.Printer(7, "1.05");

  const WorkerOutcome outcome = Run(7);
  EXPECT_TRUE(outcome.firmwareWritten);
  EXPECT_FALSE(outcome.endProgram);
  EXPECT_EQ(view_.LastStatus(), "Write firmware done!");
  ASSERT_FALSE(view_.versions.empty());
  EXPECT_EQ(view_.versions.back(), "2.00");
  // Five one-second pauses, then the version query's open.
  const auto pauses = rig_.printers.clock.Pauses();
  ASSERT_GE(pauses.size(), 6u);
  EXPECT_EQ(std::vector<uint32_t>(pauses.end() - 6, pauses.end()),
            (std::vector<uint32_t>{1000, 1000, 1000, 1000, 1000, 300}));
  EXPECT_EQ(view_.animations, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace kiln::app
