// The plan executor on its own, against in-process printers with the fake clock: the
// course it reports, where a stop ends it, and the one history write.
#include "app/plan_executor.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/package.h"
#include "support/window_rig.h"

namespace kiln::app {
namespace {

// The executor's events as lines, in order.
class Course final : public PlanEvents {
 public:
  void OnStepStarts(const PlanStep& step) override { Line("start", step); }
  void OnStepEnded(const PlanStep& step, const protocol::FlashResult& result) override {
    Line(result.flashed ? "done" : "failed", step);
  }
  void OnWaitSecond(int left) override { lines.push_back("wait " + std::to_string(left)); }
  void OnStopped() override { lines.push_back("stopped"); }
  void OnHistoryNotWritten(const std::string& reason) override {
    lines.push_back("history: " + reason);
  }
  std::vector<std::string> lines;

 private:
  void Line(const char* what, const PlanStep& step) {
    lines.push_back(std::string(what) + (step.kind == StepKind::kFirmware ? " firmware" : " cpu"));
  }
};

// A CPU step, ten visible seconds, then the firmware, in the window's plan for model 7.
class Executor : public ::testing::Test {
 protected:
  PlanOutcome Run(protocol::StopRequest stop) {
    rig_.Ini(
        "[FW_INFO1]\nModel=M07\nFile=fw7.bin\nCpu1st=1\nCpuFile=cpu7.bin\nDelay1=2\n"
        "Delay2=2\n");
    rig_.Package("fw7.bin", 7, "2.00");
    rig_.Package("cpu7.bin", 7, "1.50", config::kHeaderOffsetCpu);
    const auto [entry, package] = rig_.ReadForStart();
    EXPECT_TRUE(entry.packageFound && !package.version.empty());
    const UpdatePlan plan = PlanUpdate(entry, package, {7, true, "1.00"}, UpdateMode::kWindow);
    PlanServices services;
    services.links = rig_.printers.Links();
    services.clock = &rig_.printers.clock;
    services.stopRequested = std::move(stop);
    services.holdQueues = {};
    services.writeHistory = [this](const ModeRecord& record) {
      histories_.push_back(record);
      return std::string("disk full");
    };
    ModeRecord record;
    record.mode = "window-update";
    return PlanExecutor(services).Run({plan, record, {false, 7, {}, {}}}, course_, nullptr);
  }

  testing::WindowRig rig_;
  Course course_;
  std::vector<ModeRecord> histories_;
};

TEST_F(Executor, AStopDuringTheVisibleWaitSendsNoFurtherStep) {
  sim::VirtualPrinter& printer = rig_.Printer(7, "1.00");
  // The signal comes while the third second of the wait is shown.
  const PlanOutcome outcome = Run([this] {
    const auto& lines = course_.lines;
    return std::find(lines.begin(), lines.end(), "wait 8") != lines.end() ? SIGTERM : 0;
  });

  EXPECT_FALSE(outcome.firmwareWritten);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(course_.lines, (std::vector<std::string>{"start cpu", "done cpu", "wait 10", "wait 9",
                                                     "wait 8", "stopped", "history: disk full"}));
  ASSERT_EQ(printer.Images().size(), 1u) << "the firmware step never went out";
  // One write, and the printer that took the CPU code alone has failed.
  ASSERT_EQ(histories_.size(), 1u);
  ASSERT_EQ(histories_[0].printers.size(), 1u);
  EXPECT_EQ(histories_[0].printers[0].result, protocol::PrinterResult::kFailed);
  EXPECT_TRUE(outcome.record.updateAttempted);
}

TEST_F(Executor, NothingSentMeansNothingRecorded) {
  const PlanOutcome outcome = Run([] { return SIGINT; });
  EXPECT_EQ(course_.lines, (std::vector<std::string>{"stopped"}));
  EXPECT_TRUE(histories_.empty()) << "no printer was sent to";
  EXPECT_FALSE(outcome.deviceVersion.has_value());
}

}  // namespace
}  // namespace kiln::app
