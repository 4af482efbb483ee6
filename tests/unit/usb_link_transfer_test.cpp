#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <numeric>
#include <vector>

#include "usb_link_fixture.h"

namespace kiln::usb::testing {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> data(size);
  std::iota(data.begin(), data.end(), uint8_t{0});
  return data;
}

class LinkTransferTest : public LinkTest {};

TEST_F(LinkTransferTest, LargeWriteGoesOutInChunksOfTheVersion) {
  auto script = OpenModel7(platform::kOsWinXp);
  const std::vector<uint8_t> data = Pattern(600000);
  uint32_t written = 0;
  EXPECT_EQ(link_->WriteData(data.data(), 600000, &written), ResultCode::kWritten);
  EXPECT_EQ(written, 600000u);
  EXPECT_THAT(script->writeSizes, ElementsAre(262144u, 262144u, 75712u));
  EXPECT_THAT(script->writeTimeOuts, Each(5000u));
  EXPECT_EQ(script->written, data);
}

TEST_F(LinkTransferTest, Windows2000WritesFourKilobyteChunks) {
  auto script = OpenModel7(platform::kOsWin2000);
  const std::vector<uint8_t> data = Pattern(600000);
  uint32_t written = 0;
  EXPECT_EQ(link_->WriteData(data.data(), 600000, &written), ResultCode::kWritten);
  ASSERT_EQ(script->writeSizes.size(), 147u);
  EXPECT_EQ(std::count(script->writeSizes.begin(), script->writeSizes.end(), 4096u), 146);
  EXPECT_EQ(script->writeSizes.back(), 1984u);
  EXPECT_EQ(script->written, data);
}

// A clock that gives transfers a tenth of the link's time-outs, as a scaled clock would.
class TenthTimeOutClock final : public platform::Clock {
 public:
  void Sleep(uint32_t /*milliseconds*/) override {}
  uint64_t NowMs() override { return 0; }
  uint32_t TransferTimeOutMs(uint32_t milliseconds) override { return milliseconds / 10; }
};

TEST_F(LinkTransferTest, TransfersWaitAsLongAsTheClockConvertsEachTimeOut) {
  nodes_.list.push_back(Printer("/dev/usb/lp0", kVidPid7, "SN7"));
  auto script = pipes_.Add("/dev/usb/lp0");
  probes_ = std::make_unique<FixedProbes>(platform::kOsNt6);
  TenthTimeOutClock clock;
  CUsbLink link(LinkServices{probes_.get(), &pipes_, &nodes_, &clock});
  ASSERT_EQ(link.OpenIOChannel(kModel7, 1), kOpenOk);
  link.SetTimeOuts(3000, 7000);
  const std::vector<uint8_t> data = Pattern(4);
  uint32_t count = 0;
  EXPECT_EQ(link.WriteData(data.data(), 4, &count), ResultCode::kWritten);
  script->incoming = data;
  uint8_t answer[4] = {};
  EXPECT_EQ(link.ReadData(answer, 4, &count), ResultCode::kAnswered);
  EXPECT_THAT(script->writeTimeOuts, ElementsAre(700u));
  EXPECT_THAT(script->readTimeOuts, ElementsAre(300u));
  EXPECT_EQ(link.writeTimeOut(), 7000u) << "the link keeps its own time-outs";
}

TEST_F(LinkTransferTest, ReadEndingInAnEarlyChunkLeavesNothingStaleInTheLaterOnes) {
  auto script = OpenModel7(platform::kOsWin2000);
  std::vector<uint8_t> answer(6000, 0xEE);
  uint32_t count = 0;
  script->readOutcomes = {Completes(0)};
  EXPECT_EQ(link_->ReadData(answer.data(), 6000, &count), ResultCode::kReadNothing);
  EXPECT_THAT(answer, Each(0));
  EXPECT_EQ(script->reads, 1);
}

TEST_F(LinkTransferTest, EmptyAndInvalidArguments) {
  auto script = OpenModel7();
  uint8_t buffer[4] = {};
  uint32_t count = 99;
  EXPECT_EQ(link_->WriteData(buffer, 0, &count), ResultCode::kWritten);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(link_->ReadData(buffer, 0, &count), ResultCode::kAnswered);
  EXPECT_TRUE(script->writeSizes.empty());
  EXPECT_EQ(script->reads, 0);
  EXPECT_EQ(link_->WriteData(nullptr, 4, &count), ResultCode::kWritePointerInvalid);
  EXPECT_EQ(link_->ReadData(nullptr, 4, &count), ResultCode::kReadPointerInvalid);

  CUsbLink closed(LinkServices{probes_.get(), &pipes_, &nodes_, &clock_});
  EXPECT_EQ(closed.WriteData(buffer, 4, &count), ResultCode::kWritePipeInvalid);
  EXPECT_EQ(closed.ReadData(buffer, 4, &count), ResultCode::kReadPipeInvalid);
}

TEST_F(LinkTransferTest, WriteThatKeepsWritingNothingGivesUpAfterSixTries) {
  auto script = OpenModel7();
  script->writeOutcomes.assign(6, Completes(0));
  const std::vector<uint8_t> data = Pattern(100);
  uint32_t written = 0;
  EXPECT_EQ(link_->WriteData(data.data(), 100, &written), ResultCode::kWriteNoResponse);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(script->writeSizes.size(), 6u);
  EXPECT_EQ(script->cancels, 1);
  // The pipe stays open: the next write goes out.
  EXPECT_EQ(link_->WriteData(data.data(), 100, &written), ResultCode::kWritten);

  // Five empty completions are within the limit: a sixth that takes everything makes the
  // write whole, without a cancel.
  script->writeOutcomes = {Completes(0), Completes(0), Completes(0),
                           Completes(0), Completes(0), Completes(100)};
  EXPECT_EQ(link_->WriteData(data.data(), 100, &written), ResultCode::kWritten);
  EXPECT_EQ(written, 100u);
  EXPECT_EQ(script->cancels, 1);
}

TEST_F(LinkTransferTest, PartialProgressDoesNotCountAgainstTheRetryLimit) {
  auto script = OpenModel7();
  // Empty completions count up to the limit across the progress made between them:
  // 10 bytes, nothing four times, 20 bytes, nothing twice (the fifth empty one).
  script->writeOutcomes = {Completes(10), Completes(0),  Completes(0), Completes(0),
                           Completes(0),  Completes(20), Completes(0), Completes(0)};
  const std::vector<uint8_t> data = Pattern(100);
  uint32_t written = 0;
  EXPECT_EQ(PipeOfLp0<OutPipe>().SingleWrite(data.data(), 100, &written, 5000, link_->log()),
            ResultCode::kWritePartial);
  EXPECT_EQ(written, 30u);
  EXPECT_THAT(script->writeSizes, ElementsAre(100u, 90u, 90u, 90u, 90u, 90u, 70u, 70u));
}

TEST_F(LinkTransferTest, ChunkThatFailsPartWayEndsTheWrite) {
  auto script = OpenModel7();
  const std::vector<uint8_t> data = Pattern(600000);
  uint32_t written = 0;
  // The first chunk ends at the retry limit with 30 of its bytes written.
  script->writeOutcomes = {Completes(10), Completes(0),  Completes(0), Completes(0),
                           Completes(0),  Completes(20), Completes(0), Completes(0)};
  EXPECT_EQ(link_->WriteData(data.data(), 600000, &written), ResultCode::kWritePartial);
  EXPECT_EQ(written, 30u);
  EXPECT_EQ(script->written.size(), 30u) << "no later chunk goes out behind the gap";

  script->writeSizes.clear();
  PipeTransfer fileError = Completes(262144);
  fileError.startError = win_error::kGenFailure;
  script->writeOutcomes = {fileError};
  EXPECT_EQ(link_->WriteData(data.data(), 600000, &written), ResultCode::kWriteFileError);
  EXPECT_THAT(script->writeSizes, ElementsAre(262144u));
}

TEST_F(LinkTransferTest, SuccessThatMovesNothingEndsTheTransfer) {
  auto script = OpenModel7();
  const std::vector<uint8_t> data = Pattern(100);
  uint32_t count = 99;
  script->writeOutcomes = {CompletesAtOnce(0)};
  EXPECT_EQ(link_->WriteData(data.data(), 100, &count), ResultCode::kWriteNoResponse);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(script->writeSizes.size(), 1u) << "not sent again";

  uint8_t answer[8];
  script->incoming = {1, 2, 3, 4, 5, 6, 7, 8};
  script->readOutcomes = {CompletesAtOnce(0)};
  EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kReadNothing);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(script->reads, 1) << "not read again";
}

TEST_F(LinkTransferTest, WriteTimeOutAndCrcCloseTheWritePipeOnly) {
  auto script = OpenModel7();
  const std::vector<uint8_t> data = Pattern(64);
  uint32_t count = 0;
  script->writeOutcomes = {TimesOut()};
  EXPECT_EQ(link_->WriteData(data.data(), 64, &count), ResultCode::kWriteTimeOut);
  EXPECT_EQ(link_->WriteData(data.data(), 64, &count), ResultCode::kWritePipeInvalid);
  EXPECT_EQ(OutPipe().SingleWrite(data.data(), 64, &count, 5000, link_->log()),
            ResultCode::kPipeClosed);
  EXPECT_TRUE(link_->IsChannelOpen());
  script->incoming = {1, 2, 3};
  uint8_t answer[3] = {};
  EXPECT_EQ(link_->ReadData(answer, 3, &count), ResultCode::kAnswered) << "read pipe still open";

  ASSERT_EQ(link_->OpenIOChannel(kModel7, 1), kOpenOk);
  script->writeOutcomes = {Fails(win_error::kCrc)};
  EXPECT_EQ(link_->WriteData(data.data(), 64, &count), ResultCode::kWriteCrc);
  EXPECT_EQ(link_->WriteData(data.data(), 64, &count), ResultCode::kWritePipeInvalid);
}

TEST_F(LinkTransferTest, WriteThatCannotStart) {
  auto script = OpenModel7();
  const std::vector<uint8_t> data = Pattern(8);
  uint32_t count = 0;
  script->writeOutcomes = {Fails(win_error::kInvalidFunction, win_error::kInvalidFunction)};
  EXPECT_EQ(link_->WriteData(data.data(), 8, &count), ResultCode::kWriteFileError);
  EXPECT_EQ(script->cancels, 1);
  EXPECT_EQ(link_->WriteData(data.data(), 8, &count), ResultCode::kWritten) << "pipe kept";
  // Any other start failure waits for the completion, which fails: the pipe closes.
  script->writeOutcomes = {Fails(win_error::kGenFailure, win_error::kGenFailure)};
  EXPECT_EQ(link_->WriteData(data.data(), 8, &count), ResultCode::kWriteTimeOut);
  EXPECT_EQ(link_->WriteData(data.data(), 8, &count), ResultCode::kWritePipeInvalid);
}

TEST_F(LinkTransferTest, ReadTimeOutClosesTheReadPipe) {
  auto script = OpenModel7();
  uint8_t answer[16];
  uint32_t count = 0;
  EXPECT_EQ(link_->ReadData(answer, 16, &count), ResultCode::kReadTimeOut);
  EXPECT_EQ(script->reads, 1);
  EXPECT_EQ(script->cancels, 1);
  EXPECT_EQ(link_->ReadData(answer, 16, &count), ResultCode::kReadPipeInvalid);
  EXPECT_EQ(InPipe().SingleRead(answer, 16, &count, 5000, link_->log()), ResultCode::kPipeClosed);
  EXPECT_EQ(script->reads, 1) << "the device was not touched again";
  const std::vector<uint8_t> data = Pattern(4);
  EXPECT_EQ(link_->WriteData(data.data(), 4, &count), ResultCode::kWritten) << "write pipe kept";
}

TEST_F(LinkTransferTest, ReadOutcomes) {
  auto script = OpenModel7();
  uint8_t answer[8];
  uint32_t count = 0;

  // Pieces that arrive short are read on until the count is complete.
  script->incoming = {1, 2, 3, 4, 5, 6, 7, 8};
  script->readOutcomes = {Completes(3), Completes(5)};
  EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kAnswered);
  EXPECT_EQ(count, 8u);
  EXPECT_THAT(answer, ElementsAre(1, 2, 3, 4, 5, 6, 7, 8));

  // A completion with nothing ends the read, answered with "no response", and its pending
  // transfer is cancelled.
  script->readOutcomes = {Completes(0)};
  EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kReadNothing);
  EXPECT_EQ(count, 0u);
  EXPECT_THAT(answer, Each(0)) << "the buffer is zeroed";
  EXPECT_EQ(script->cancels, 1);

  // A short completion ends with "short" only when nothing more comes.
  script->incoming = {9, 9};
  script->readOutcomes = {Completes(2), Completes(0)};
  EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kReadNothing);
  EXPECT_EQ(count, 2u);

  script->readOutcomes = {Fails(win_error::kCrc)};
  EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kReadCrc);
  EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kReadPipeInvalid);
}

TEST_F(LinkTransferTest, SingleReadResultsOfOneCompletion) {
  auto script = OpenModel7();
  uint8_t answer[8];
  uint32_t count = 0;
  std::fill(std::begin(answer), std::end(answer), 0xEE);
  script->incoming = {1, 2, 3};
  script->readOutcomes = {Completes(3)};
  InPipe pipe = PipeOfLp0<InPipe>();
  EXPECT_EQ(pipe.SingleRead(answer, 8, &count, 5000, link_->log()), ResultCode::kReadShort);
  EXPECT_EQ(count, 3u);
  EXPECT_THAT(answer, ElementsAre(1, 2, 3, 0, 0, 0, 0, 0)) << "nothing stale behind the answer";
  // Asking for nothing and getting nothing is an answer, not a reason to cancel.
  script->readOutcomes = {Completes(0)};
  EXPECT_EQ(pipe.SingleRead(answer, 0, &count, 5000, link_->log()), ResultCode::kAnswered);
  EXPECT_EQ(script->cancels, 0);
  // Started with an error other than "pending" but completed: the start's code stands.
  script->incoming = {1, 2, 3, 4, 5, 6, 7, 8};
  PipeTransfer started = Completes(8);
  started.startError = win_error::kGenFailure;
  script->readOutcomes = {started};
  EXPECT_EQ(pipe.SingleRead(answer, 8, &count, 5000, link_->log()), ResultCode::kReadFileError);
}

TEST_F(LinkTransferTest, ZeroTimeOutIsABlockingTransfer) {
  auto script = OpenModel7();
  link_->SetTimeOuts(0, 0);
  const std::vector<uint8_t> data = Pattern(10);
  uint32_t count = 0;
  script->writeOutcomes = {CompletesAtOnce(10)};
  EXPECT_EQ(link_->WriteData(data.data(), 10, &count), ResultCode::kWritten);
  EXPECT_EQ(script->writeTimeOuts.back(), 0u);
  script->writeOutcomes = {Fails(win_error::kGenFailure)};
  EXPECT_EQ(link_->WriteData(data.data(), 10, &count), ResultCode::kWriteTimeOut);
  EXPECT_EQ(link_->WriteData(data.data(), 10, &count), ResultCode::kWritePipeInvalid);
  uint8_t answer[4];
  script->readOutcomes = {Fails(win_error::kGenFailure)};
  EXPECT_EQ(link_->ReadData(answer, 4, &count), ResultCode::kReadTimeOut);
  EXPECT_EQ(link_->ReadData(answer, 4, &count), ResultCode::kReadPipeInvalid);
}

// Reads what the link's sink wrote.
class TraceFile {
 public:
  explicit TraceFile(CUsbLink& link, uint32_t level) {
    link.log().Open(std::fopen(path_.c_str(), "w"), level);
  }
  std::string Text(CUsbLink& link) {
    link.log().Reset();  // flushes and closes
    return kiln::testing::TempDir::Read(path_);
  }

 private:
  kiln::testing::TempDir dir_;
  std::string path_ = dir_.File("trace.txt");
};

TEST_F(LinkTransferTest, TraceOfAWriteThenAReadThatTimesOut) {
  auto script = OpenModel7();
  TraceFile trace(*link_, 3);
  const uint8_t data[3] = {0xAA, 0xBB, 0xCC};
  uint32_t count = 0;
  (void)link_->WriteData(data, 3, &count);
  uint8_t answer[4];
  (void)link_->ReadData(answer, 4, &count);
  const std::string text = trace.Text(*link_);
  char address[16];
  std::snprintf(address, sizeof address, "0x%08X",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(data)));
  EXPECT_EQ(
      text,
      "Begin CUsbLink::WriteData, dwBytesToWrite = 3, m_hPipeW = 101, m_dwTimeOutW = 5000,\n"
      "CUsbLink::SingleWrite, before WriteFile(hPipeW=101), dwLen = 3, dwTimeOut = 5000, "
      "lpOutData = " +
          std::string(address) +
          "\n"
          "CUsbLink::SingleWrite, WaitForSingleObject return = 0,\n"
          "CUsbLink::SingleWrite, GetOverlapResult return true, dwWriteAmount = 3, dwLastError = "
          "0\n"
          "CUsbLink::WriteData:: SingleWrite return 0x10, dwWriteLen = 3, BytesWritten = 3,\n"
          "Begin CUsbLink::ReadData, dwBytesToRead = 4, m_hPipeR = 100, m_dwTimeOutR = 5000,\n"
          "Begin CUsbLink::SingleRead, before ReadFile, hPipeR = 100, dwLen = 4, dwReadAmount = 0\n"
          "CUsbLink::SingleRead, after ReadFile(), dwLastError = 997\n"
          "CUsbLink::SingleRead, WaitForSingleObject return = 258\n"
          "CUsbLink::SingleRead, GetOverlapResult return false, dwLastError = 996,\n"
          "CUsbLink::ReadData:: SingleRead return 0x26, dwReadLen = 4, BytesRead = 0\n");
}

TEST_F(LinkTransferTest, FailedWriteDumpsItsFirstTenBytes) {
  auto script = OpenModel7();
  TraceFile trace(*link_, 3);
  const std::vector<uint8_t> data = Pattern(40);
  script->writeOutcomes = {TimesOut()};
  uint32_t count = 0;
  EXPECT_EQ(link_->WriteData(data.data(), 40, &count), ResultCode::kWriteTimeOut);
  const std::string text = trace.Text(*link_);
  EXPECT_NE(text.find("CUsbLink::SingleWrite, WaitForSingleObject return = 258,\n"
                      "CUsbLink::SingleWrite, GetOverlapResult return false, dwWritten = 0, "
                      "dwLastError = 996, dwRetry = 0\n"
                      "--> 00 01 02 03 04 05 06 07 08 09 \n\n\n"),
            std::string::npos)
      << text;
}

TEST_F(LinkTransferTest, DataDumpsOnlyAtLevelFive) {
  auto script = OpenModel7();
  const uint8_t data[2] = {0x12, 0x34};
  uint32_t count = 0;
  TraceFile two(*link_, 2);
  (void)link_->WriteData(data, 2, &count);
  EXPECT_EQ(two.Text(*link_).find("-->"), std::string::npos);
  TraceFile five(*link_, 5);
  (void)link_->WriteData(data, 2, &count);
  EXPECT_NE(five.Text(*link_).find("--> 12 34 \n\n\n"), std::string::npos);
}

TEST_F(LinkTransferTest, FinishClosesTheChannelThenEndsTheLog) {
  auto script = OpenModel7();
  TraceFile trace(*link_, 1);
  EXPECT_EQ(script->openPipes, 2);
  link_->Finish();
  EXPECT_FALSE(link_->IsChannelOpen());
  EXPECT_EQ(script->openPipes, 0);
  EXPECT_FALSE(link_->log().IsOpen());
  EXPECT_NE(trace.Text(*link_).find("========================== End  ["), std::string::npos);
}

TEST_F(LinkTransferTest, CancelPipesCancelsEveryOpenPipe) {
  nodes_.list.push_back(Printer("/dev/usb/lp0", kVidPid7, "SN7"));
  auto script = pipes_.Add("/dev/usb/lp0");
  CUsbLink& link = MakeLink();
  link.CancelPipes();  // nothing open: nothing to cancel
  ASSERT_EQ(link.OpenIOChannel(kModel7, 1, kEnumDefault, kPipeRead | kPipeWrite | kPipeStatus),
            kOpenOk);
  link.CancelPipes();
  EXPECT_EQ(script->cancels, 3);
}

}  // namespace
}  // namespace kiln::usb::testing
