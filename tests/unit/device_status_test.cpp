// Busy polling, the status summary and the alert details.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "protocol/prn_cmd.h"
#include "support/scripted_channel.h"
#include "support/temp_dir.h"

namespace kiln::protocol {
namespace {

using kiln::testing::ScriptedChannel;
using kiln::testing::TempDir;
using usb::ResultCode;

class DeviceStatus : public ::testing::Test {
 protected:
  void Summary(uint8_t b0, uint8_t b1, uint8_t b2) { channel_.QueueAnswer({b0, b1, b2}); }
  void Detail(uint32_t code, uint8_t present = 1) {
    channel_.QueueAnswer({present, static_cast<uint8_t>(code >> 16),
                          static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)});
  }
  StatusResult Check(bool force = true, bool busyWait = false) {
    return prn_->CheckDeviceStatus(
        &error_, {.show = true, .forceAlertReport = force, .busyWaitFirst = busyWait});
  }

  ScriptedChannel channel_;
  std::unique_ptr<CPrnCmd> prn_ = std::make_unique<CPrnCmd>(&channel_, SendMode::kPadded);
  uint32_t error_ = 0xDEAD;
};

TEST_F(DeviceStatus, QuietPrinterHasNoError) {
  Summary(0, 0, 0);
  EXPECT_EQ(Check(), kStatusOk);
  EXPECT_EQ(error_, 0u);
  Summary(0x80, 0, 0);  // busy is not an alert
  EXPECT_EQ(Check(), kStatusOk);
  EXPECT_EQ(channel_.cancels, 0);
}

TEST_F(DeviceStatus, Detail0403KeepsOnlyBits80FF) {
  Summary(0, 0x08, 0);
  Detail(0x00050001);
  EXPECT_EQ(Check(), kStatusError);
  EXPECT_EQ(error_, 0x00000001u);
  EXPECT_EQ(channel_.Commands(), (std::vector<uint16_t>{0x0400, 0x0403}));
  EXPECT_EQ(channel_.cancels, 1) << "a reported alert abandons pending I/O";
}

TEST_F(DeviceStatus, SequenceErrorSendsJobResetAndReturns3013) {
  Summary(0, 0, 0x02);
  Detail(0x000301FE);
  channel_.QueueAnswer({});
  EXPECT_EQ(Check(), kStatusJobReset);
  EXPECT_EQ(error_, 0x000301FEu);
  EXPECT_EQ(channel_.Commands(), (std::vector<uint16_t>{0x0400, 0x0407, 0x0301}));
  EXPECT_EQ(channel_.writes.back()[6], 2) << "job reset with parameter 2";
  EXPECT_EQ(channel_.fakeClock.Pauses(), (std::vector<uint32_t>{500}));
}

TEST_F(DeviceStatus, RibbonJustInsertedIsNoError) {
  Summary(0, 0x01, 0);
  Detail(0x00080207);
  EXPECT_EQ(Check(), kStatusOk);
  EXPECT_EQ(error_, 0x00080007u);

  Summary(0, 0x01, 0);
  Detail(0x00030302, 0);  // byte 0 clear: no alert after all
  EXPECT_EQ(Check(), kStatusOk);
  EXPECT_EQ(error_, 0u);
}

TEST_F(DeviceStatus, Alert040AWithCodeReports63AndStopBitGives3015) {
  Summary(0, 0x01, 0);
  Detail(0x00030302);
  EXPECT_EQ(Check(), kStatusError);
  EXPECT_EQ(error_, 0x00030302u);

  // Byte 0 bit 0x04 with an error bit but no detail: 3015.
  Summary(0x24, 0, 0);
  EXPECT_EQ(Check(), kStatusStopBit);
}

TEST_F(DeviceStatus, TrayMissingIsReportedOnlyWhenForced) {
  Summary(0, 0x08, 0);
  Detail(0x00008008);
  EXPECT_EQ(Check(false), kStatusOk);
  EXPECT_EQ(error_, 0u);

  Summary(0, 0x08, 0);
  Detail(0x00008008);
  EXPECT_EQ(Check(true), kStatusError);
  EXPECT_EQ(error_, 0x00008008u);
}

TEST_F(DeviceStatus, AlertDetails) {
  uint32_t error = 0x1234;
  channel_.QueueAnswer({});
  EXPECT_EQ(prn_->CheckDeviceAlert(0x0405, &error, {.show = true}), kStatusError);
  EXPECT_EQ(error, 0x00008000u) << "an alert without a code is reported as paper out";

  error = 0x1234;
  Detail(0x00008007);
  EXPECT_EQ(prn_->CheckDeviceAlert(0x0405, &error, {.show = true}), kStatusOk);
  EXPECT_EQ(error, 0x1234u) << "0x8007 leaves the output alone";

  EXPECT_EQ(prn_->CheckDeviceAlert(0x0405, &error, {.show = true}), kStatusError);
  EXPECT_EQ(error, 0x26u) << "a failed transaction's result is the code";

  Detail(0x000301FE);
  EXPECT_EQ(prn_->CheckDeviceAlert(0x0406, &error, {.show = true}), kStatusError)
      << "the sequence error means a job reset only from 0x0407";
}

TEST_F(DeviceStatus, FailedSummaryReportsItsResult) {
  EXPECT_EQ(Check(), kStatusError);
  EXPECT_EQ(error_, 0x26u);
  EXPECT_EQ(channel_.cancels, 1);

  channel_.QueueAnswer({});  // answered, but without data
  EXPECT_EQ(Check(), kStatusError);
  EXPECT_EQ(error_, 0x22u);
}

TEST_F(DeviceStatus, WaitBusyPollsAtItsInterval) {
  Summary(0x80, 0, 0);
  Summary(0x01, 0, 0);
  Summary(0x20, 0, 0);
  EXPECT_EQ(prn_->WaitBusy(250, false), BusyWait::Ready());
  EXPECT_EQ(channel_.fakeClock.Pauses(), (std::vector<uint32_t>{250, 250}));

  channel_.fakeClock.ClearPauses();
  Summary(0x80, 0x08, 0);
  EXPECT_EQ(prn_->WaitBusy(500, true), BusyWait::Ready()) << "stop on alert";
  EXPECT_TRUE(channel_.fakeClock.Pauses().empty());

  EXPECT_EQ(prn_->WaitBusy(500, false), BusyWait::Failed(ResultCode::kReadTimeOut))
      << "a failed poll ends the wait";
}

TEST_F(DeviceStatus, WaitBusyLimitCountsFromItsOwnStart) {
  channel_.fakeClock.Sleep(10000);
  channel_.fakeClock.ClearPauses();
  for (int i = 0; i < 10; ++i) Summary(0x80, 0, 0);
  EXPECT_EQ(prn_->WaitBusy(250, false, 1000), BusyWait::TimedOut());
  // Polls at 0, 250, 500, 750 and 1000 ms: the last one reaches the limit.
  EXPECT_EQ(channel_.fakeClock.Pauses(), std::vector<uint32_t>(4, 250));
}

TEST_F(DeviceStatus, BusyWaitFirstWaitsBeforeReading) {
  Summary(0x80, 0, 0);  // first probe
  Summary(0x80, 0, 0);  // WaitBusy round 1
  Summary(0x00, 0, 0);  // WaitBusy round 2
  Summary(0x00, 0, 0);  // the summary that counts
  EXPECT_EQ(Check(true, true), kStatusOk);
  EXPECT_EQ(channel_.fakeClock.Pauses(), (std::vector<uint32_t>{250}));
}

TEST_F(DeviceStatus, OnlyTheBusyBitMakesTheSummaryBeWaitedOutAgain) {
  Summary(0, 0, 0);     // probe
  Summary(0, 0, 0);     // first wait: not busy
  Summary(0x64, 0, 0);  // error bits and the stop bit, not busy
  EXPECT_EQ(Check(true, true), kStatusStopBit);
  EXPECT_EQ(channel_.Commands().size(), 3u);
}

TEST_F(DeviceStatus, OnlyItsOwnBitIsTheStopBit) {
  Summary(0x42, 0, 0);  // an error bit without a detail, and the bit beside the stop bit
  Summary(0, 0, 0);
  EXPECT_EQ(Check(), kStatusOk);
  EXPECT_EQ(channel_.fakeClock.Pauses(), (std::vector<uint32_t>{250}));
}

TEST_F(DeviceStatus, ShortDetailTakesNothingFromTheAnswerBefore) {
  Summary(0, 0, 0x08);
  Detail(0x123456);
  EXPECT_EQ(Check(), kStatusError);
  EXPECT_EQ(error_, 0x123456u);
  Summary(0, 0, 0x08);
  channel_.QueueAnswer({1, 0x77});
  EXPECT_EQ(Check(), kStatusError);
  EXPECT_EQ(error_, 0x770000u);
}

TEST_F(DeviceStatus, PrinterThatStaysBusyEndsTheCheckUnreadAfterTheLimit) {
  constexpr uint32_t kPolls = kWaitBusyLimitMs / 250;
  for (uint32_t i = 0; i < kPolls + 10; ++i) Summary(0x80, 0, 0);
  EXPECT_EQ(Check(true, true), kStatusError);
  EXPECT_EQ(error_, 0u) << "no printer code: the state was never read";
  const std::vector<uint32_t> pauses = channel_.fakeClock.Pauses();
  EXPECT_EQ(std::accumulate(pauses.begin(), pauses.end(), uint64_t{0}), kWaitBusyLimitMs);
  const std::vector<uint16_t> commands = channel_.Commands();
  EXPECT_EQ(commands.size(), kPolls + 2) << "the first probe, then one poll per pause and one";
  EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x0400), std::ssize(commands))
      << "no detail asked, no job reset";
  EXPECT_EQ(channel_.cancels, 1);
}

TEST_F(DeviceStatus, DetailsAreAskedInTheirOrderOfPreference) {
  const std::vector<uint16_t> expected[] = {{0x0400, 0x0406}, {0x0400, 0x0405}, {0x0400, 0x0403}};
  const uint8_t byte1[] = {0x0A, 0x0A, 0x08};
  const uint8_t byte2[] = {0x08, 0x00, 0x00};
  for (int i = 0; i < 3; ++i) {
    channel_.writes.clear();
    Summary(0, byte1[i], byte2[i]);
    Detail(0x00012345);
    EXPECT_EQ(Check(), kStatusError);
    EXPECT_EQ(channel_.Commands(), expected[i]);
  }

  // 0x0408 comes first; a clean answer goes on to the next detail, a code ends the check.
  channel_.writes.clear();
  Summary(0, 0x08, 0x04);
  Detail(0, 0);
  Detail(0x00001208);  // 0x0403 keeps bits 0x80FF only
  EXPECT_EQ(Check(), kStatusError);
  EXPECT_EQ(channel_.Commands(), (std::vector<uint16_t>{0x0400, 0x0408, 0x0403}));
  EXPECT_EQ(error_, 0x00000008u);
  channel_.writes.clear();
  Summary(0, 0x08, 0x04);
  Detail(0x00012345);
  EXPECT_EQ(Check(), kStatusError);
  EXPECT_EQ(channel_.Commands(), (std::vector<uint16_t>{0x0400, 0x0408}));
  EXPECT_EQ(error_, 0x00012345u);

  Summary(0, 0x08, 0);
  Detail(0x0000F2FF);
  EXPECT_EQ(Check(), kStatusError);
  EXPECT_EQ(error_, 0x000080FFu);
}

TEST_F(DeviceStatus, BusySummaryIsWaitedOutASecondTime) {
  Summary(0, 0, 0);     // probe
  Summary(0, 0, 0);     // first wait: not busy
  Summary(0x80, 0, 0);  // the summary turns busy
  Summary(0x80, 0, 0);  // second wait, round 1
  Summary(0, 0, 0);     // second wait, round 2
  Summary(0, 0, 0x08);  // read again: an alert
  Detail(0x00012345);
  EXPECT_EQ(Check(true, true), kStatusError);
  EXPECT_EQ(error_, 0x00012345u);
  EXPECT_EQ(channel_.Commands().size(), 7u);
}

TEST_F(DeviceStatus, SuppressKeepsAFailureFromBeingShown) {
  const TempDir dir;
  const std::string file = dir.File("trace.txt");
  channel_.debugLog.Open(std::fopen(file.c_str(), "w"), 1);
  EXPECT_EQ(prn_->CheckDeviceStatus(&error_, {.show = true, .suppress = true}), kStatusError);
  EXPECT_EQ(prn_->CheckDeviceStatus(&error_, {.show = true}), kStatusError);
  channel_.debugLog.Reset();
  const std::string trace = TempDir::Read(file);
  const auto suppressed = trace.find("shown = 0, error code = 0x00000026");
  const auto shown = trace.find("shown = 1, error code = 0x00000026");
  EXPECT_NE(suppressed, std::string::npos) << trace;
  EXPECT_NE(shown, std::string::npos) << trace;
  EXPECT_LT(suppressed, shown);
}

TEST(AlertPlan, DetailsFollowTheSummaryBits) {
  struct Row {
    uint8_t byte1, byte2;
    bool forceArgument;
    std::vector<AlertRequest> expected;
  };
  const Row rows[] = {
      {0x00, 0x00, true, {}},
      {0x00, 0x02, true, {{0x0407, true}}},
      {0x00, 0x04, true, {{0x0408, true}}},
      {0x0B, 0x0E, true, {{0x0407, true}, {0x0408, true}, {0x0406, true}}},
      {0x0B, 0x00, true, {{0x0405, true}}},
      {0x09, 0x00, false, {{0x0403, false}}},
      {0x09, 0x04, true, {{0x0408, true}, {0x0403, true}}},
      {0x01, 0x02, true, {{0x0407, true}, {0x040A, true}}},
      {0x04, 0x01, true, {}},  // bits next to the ones that ask for a detail
  };
  for (const Row& row : rows) {
    const AlertPlan plan = PlanAlertDetails({0x40, row.byte1, row.byte2}, row.forceArgument);
    EXPECT_EQ(std::vector<AlertRequest>(plan.requests.begin(), plan.requests.begin() + plan.count),
              row.expected)
        << int(row.byte1) << " " << int(row.byte2);
  }
}

TEST(StatusSummaryBits, EachBitMeansBusyAnAlertOrNothing) {
  // For each byte, the single bits that mean busy and those that mean an alert.
  const uint8_t busy[3] = {0x81, 0x00, 0x00};
  const uint8_t alert[3] = {0x64, 0x0B, 0x0E};
  for (int byte = 0; byte < 3; ++byte) {
    for (int bit = 0; bit < 8; ++bit) {
      uint8_t bytes[3] = {};
      bytes[byte] = static_cast<uint8_t>(1u << bit);
      const StatusSummary summary{bytes[0], bytes[1], bytes[2]};
      EXPECT_EQ(summary.BusyOrWorking(), (busy[byte] & bytes[byte]) != 0) << byte << ":" << bit;
      EXPECT_EQ(summary.AlertPending(), (alert[byte] & bytes[byte]) != 0) << byte << ":" << bit;
    }
  }
}

TEST_F(DeviceStatus, ErrorBitsWithoutDetailArePolledForAboutAMinute) {
  for (int i = 0; i < 300; ++i) channel_.ScriptAnswer(0x0400, {0x20, 0, 0});
  EXPECT_EQ(Check(), kStatusError);
  EXPECT_EQ(channel_.Commands().size(), 240u);
  EXPECT_EQ(channel_.fakeClock.Pauses(), std::vector<uint32_t>(239, 250));
  EXPECT_EQ(error_, 0u) << "no printer code: the state was never resolved";
}

TEST(DeviceStatusWithoutLink, FailsWithNoLink) {
  CPrnCmd prn(nullptr, SendMode::kPadded);
  uint32_t error = 0;
  EXPECT_EQ(prn.CheckDeviceStatus(&error, {.show = true, .busyWaitFirst = true}), kStatusError);
  EXPECT_EQ(error, 0x61u);
}

}  // namespace
}  // namespace kiln::protocol
