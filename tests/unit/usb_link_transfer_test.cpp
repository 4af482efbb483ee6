#include <errno.h>
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

TEST_F(LinkTransferTest, LargeWriteGoesOutIn256KiBChunks) {
  auto script = OpenModel7();
  const std::vector<uint8_t> data = Pattern(600000);
  uint32_t written = 0;
  EXPECT_EQ(link_->WriteData(data.data(), 600000, &written), ResultCode::kWritten);
  EXPECT_EQ(written, 600000u);
  EXPECT_THAT(script->writeSizes, ElementsAre(262144u, 262144u, 75712u));
  EXPECT_THAT(script->writeTimeOuts, Each(5000u));
  EXPECT_EQ(script->written, data);
}

TEST_F(LinkTransferTest, LargeReadComesInIn256KiBChunks) {
  auto script = OpenModel7();
  script->incoming = Pattern(300000);
  std::vector<uint8_t> answer(300000);
  uint32_t count = 0;
  EXPECT_EQ(link_->ReadData(answer.data(), 300000, &count), ResultCode::kAnswered);
  EXPECT_EQ(count, 300000u);
  EXPECT_EQ(script->reads, 2);
  EXPECT_EQ(answer, Pattern(300000));
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
  probes_ = std::make_unique<FixedProbes>();
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
  auto script = OpenModel7();
  std::vector<uint8_t> answer(300000, 0xEE);
  uint32_t count = 0;
  script->readOutcomes = {Done(0)};
  EXPECT_EQ(link_->ReadData(answer.data(), 300000, &count), ResultCode::kReadNothing);
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
  script->writeOutcomes.assign(6, Done(0));
  const std::vector<uint8_t> data = Pattern(100);
  uint32_t written = 0;
  EXPECT_EQ(link_->WriteData(data.data(), 100, &written), ResultCode::kWriteNoResponse);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(script->writeSizes.size(), 6u);
  EXPECT_EQ(script->cancels, 1);
  // The pipe stays open: the next write goes out.
  EXPECT_EQ(link_->WriteData(data.data(), 100, &written), ResultCode::kWritten);

  // Five empty writes are within the limit: a sixth that takes everything makes the
  // write whole, without a cancel.
  script->writeOutcomes = {Done(0), Done(0), Done(0), Done(0), Done(0), Done(100)};
  EXPECT_EQ(link_->WriteData(data.data(), 100, &written), ResultCode::kWritten);
  EXPECT_EQ(written, 100u);
  EXPECT_EQ(script->cancels, 1);
}

TEST_F(LinkTransferTest, PartialProgressDoesNotCountAgainstTheRetryLimit) {
  auto script = OpenModel7();
  // Empty writes count up to the limit across the progress made between them:
  // 10 bytes, nothing four times, 20 bytes, nothing twice (the fifth empty one).
  script->writeOutcomes = {Done(10), Done(0),  Done(0), Done(0),
                           Done(0),  Done(20), Done(0), Done(0)};
  const std::vector<uint8_t> data = Pattern(100);
  uint32_t written = 0;
  EXPECT_EQ(PipeOfLp0<OutPipe>().Write(data.data(), 100, &written, 5000, link_->log()),
            ResultCode::kWritePartial);
  EXPECT_EQ(written, 30u);
  EXPECT_THAT(script->writeSizes, ElementsAre(100u, 90u, 90u, 90u, 90u, 90u, 70u, 70u));
}

TEST_F(LinkTransferTest, ChunkThatFailsPartWayEndsTheWrite) {
  auto script = OpenModel7();
  const std::vector<uint8_t> data = Pattern(600000);
  uint32_t written = 0;
  // The first chunk ends at the retry limit with 30 of its bytes written.
  script->writeOutcomes = {Done(10), Done(0),  Done(0), Done(0),
                           Done(0),  Done(20), Done(0), Done(0)};
  EXPECT_EQ(link_->WriteData(data.data(), 600000, &written), ResultCode::kWritePartial);
  EXPECT_EQ(written, 30u);
  EXPECT_EQ(script->written.size(), 30u) << "no later chunk goes out behind the gap";

  script->writeSizes.clear();
  script->writeOutcomes = {Ends(PipeStatus::kRefused, EINVAL)};
  EXPECT_EQ(link_->WriteData(data.data(), 600000, &written), ResultCode::kWriteFileError);
  EXPECT_THAT(script->writeSizes, ElementsAre(262144u));
}

TEST_F(LinkTransferTest, SuccessThatMovesNothingEndsTheTransfer) {
  auto script = OpenModel7();
  const std::vector<uint8_t> data = Pattern(100);
  uint32_t count = 99;
  const std::vector<uint8_t> large = Pattern(600000);
  script->writeOutcomes.assign(6, Done(0));
  EXPECT_EQ(link_->WriteData(large.data(), 600000, &count), ResultCode::kWriteNoResponse);
  EXPECT_EQ(count, 0u);
  EXPECT_THAT(script->writeSizes, Each(262144u)) << "no later chunk goes out";
  EXPECT_EQ(script->writeSizes.size(), 6u) << "not sent again beyond the retries";

  uint8_t answer[8];
  script->incoming = {1, 2, 3, 4, 5, 6, 7, 8};
  script->readOutcomes = {Done(0)};
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
  EXPECT_EQ(OutPipe().Write(data.data(), 64, &count, 5000, link_->log()), ResultCode::kPipeClosed);
  EXPECT_TRUE(link_->IsChannelOpen());
  script->incoming = {1, 2, 3};
  uint8_t answer[3] = {};
  EXPECT_EQ(link_->ReadData(answer, 3, &count), ResultCode::kAnswered) << "read pipe still open";

  ASSERT_EQ(link_->OpenIOChannel(kModel7, 1), kOpenOk);
  script->writeOutcomes = {Ends(PipeStatus::kDataError, EPROTO)};
  EXPECT_EQ(link_->WriteData(data.data(), 64, &count), ResultCode::kWriteCrc);
  EXPECT_EQ(link_->WriteData(data.data(), 64, &count), ResultCode::kWritePipeInvalid);
}

TEST_F(LinkTransferTest, WriteThatCannotStart) {
  auto script = OpenModel7();
  const std::vector<uint8_t> data = Pattern(8);
  uint32_t count = 0;
  script->writeOutcomes = {Ends(PipeStatus::kRefused, EINVAL)};
  EXPECT_EQ(link_->WriteData(data.data(), 8, &count), ResultCode::kWriteFileError);
  EXPECT_EQ(script->cancels, 1);
  EXPECT_EQ(link_->WriteData(data.data(), 8, &count), ResultCode::kWritten) << "pipe kept";
  // A printer that is gone closes the pipe.
  script->writeOutcomes = {Ends(PipeStatus::kGone, ENODEV)};
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
  EXPECT_EQ(InPipe().Read(answer, 16, &count, 5000, link_->log()), ResultCode::kPipeClosed);
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
  script->readOutcomes = {Done(3), Done(5)};
  EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kAnswered);
  EXPECT_EQ(count, 8u);
  EXPECT_THAT(answer, ElementsAre(1, 2, 3, 4, 5, 6, 7, 8));

  // A read of nothing ends the read, answered with "no response", and the pipe is
  // cancelled.
  script->readOutcomes = {Done(0)};
  EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kReadNothing);
  EXPECT_EQ(count, 0u);
  EXPECT_THAT(answer, Each(0)) << "the buffer is zeroed";
  EXPECT_EQ(script->cancels, 1);

  // A short read is followed by another for the rest.
  script->incoming = {9, 9};
  script->readOutcomes = {Done(2), Done(0)};
  EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kReadNothing);
  EXPECT_EQ(count, 2u);

  script->readOutcomes = {Ends(PipeStatus::kDataError, EILSEQ)};
  EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kReadCrc);
  EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kReadPipeInvalid);
}

TEST_F(LinkTransferTest, ReadResultsOfOneTransfer) {
  auto script = OpenModel7();
  uint8_t answer[8];
  uint32_t count = 0;
  std::fill(std::begin(answer), std::end(answer), 0xEE);
  script->incoming = {1, 2, 3};
  script->readOutcomes = {Done(3)};
  InPipe pipe = PipeOfLp0<InPipe>();
  EXPECT_EQ(pipe.Read(answer, 8, &count, 5000, link_->log()), ResultCode::kReadShort);
  EXPECT_EQ(count, 3u);
  EXPECT_THAT(answer, ElementsAre(1, 2, 3, 0, 0, 0, 0, 0)) << "nothing stale behind the answer";
  // Asking for nothing and getting nothing is an answer, not a reason to cancel.
  script->readOutcomes = {Done(0)};
  EXPECT_EQ(pipe.Read(answer, 0, &count, 5000, link_->log()), ResultCode::kAnswered);
  EXPECT_EQ(script->cancels, 0);
  script->incoming = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(pipe.Read(answer, 8, &count, 5000, link_->log()), ResultCode::kAnswered);
  EXPECT_EQ(count, 8u);
}

TEST_F(LinkTransferTest, ZeroTimeOutIsABlockingTransfer) {
  auto script = OpenModel7();
  link_->SetTimeOuts(0, 0);
  const std::vector<uint8_t> data = Pattern(10);
  uint32_t count = 0;
  script->writeOutcomes = {Done(10)};
  EXPECT_EQ(link_->WriteData(data.data(), 10, &count), ResultCode::kWritten);
  EXPECT_EQ(script->writeTimeOuts.back(), 0u);
  script->writeOutcomes = {Ends(PipeStatus::kRefused, EINVAL)};
  EXPECT_EQ(link_->WriteData(data.data(), 10, &count), ResultCode::kWriteTimeOut);
  EXPECT_EQ(link_->WriteData(data.data(), 10, &count), ResultCode::kWritePipeInvalid);
  uint8_t answer[4];
  script->readOutcomes = {Ends(PipeStatus::kDataError, EPROTO)};
  EXPECT_EQ(link_->ReadData(answer, 4, &count), ResultCode::kReadTimeOut);
  EXPECT_EQ(link_->ReadData(answer, 4, &count), ResultCode::kReadPipeInvalid);
}

// What the link makes of each way a transfer can end: its result code, and whether the
// pipe is closed (a later transfer finds no pipe) or only cancelled.
TEST_F(LinkTransferTest, EachEndingOfATransferGivesItsResultCode) {
  const struct {
    PipeResult ending;
    ResultCode write;
    bool writePipeKept;
    ResultCode read;
  } cases[] = {
      {TimesOut(), ResultCode::kWriteTimeOut, false, ResultCode::kReadTimeOut},
      {Ends(PipeStatus::kGone, ENODEV), ResultCode::kWriteTimeOut, false, ResultCode::kReadTimeOut},
      {Ends(PipeStatus::kDataError, EPROTO), ResultCode::kWriteCrc, false, ResultCode::kReadCrc},
      {Ends(PipeStatus::kRefused, EINVAL), ResultCode::kWriteFileError, true,
       ResultCode::kReadTimeOut},
      {Ends(PipeStatus::kFailed, EPIPE), ResultCode::kWriteTimeOut, false,
       ResultCode::kReadTimeOut},
  };
  auto script = OpenModel7();
  const std::vector<uint8_t> data = Pattern(8);
  uint8_t answer[8];
  uint32_t count = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.ending.status));
    ASSERT_EQ(link_->OpenIOChannel(kModel7, 1), kOpenOk);
    script->cancels = 0;
    script->writeOutcomes = {c.ending};
    script->readOutcomes = {c.ending};
    EXPECT_EQ(link_->WriteData(data.data(), 8, &count), c.write);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(script->cancels, 1);
    EXPECT_EQ(link_->ReadData(answer, 8, &count), c.read);
    EXPECT_EQ(script->cancels, 2);
    EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kReadPipeInvalid) << "closed";
    script->writeOutcomes.clear();
    EXPECT_EQ(link_->WriteData(data.data(), 8, &count),
              c.writePipeKept ? ResultCode::kWritten : ResultCode::kWritePipeInvalid);
  }
}

// Reads what the link's sink wrote.
class TraceFile {
 public:
  explicit TraceFile(CUsbLink& link, uint32_t level) {
    link.log().Open(std::fopen(path_.c_str(), "wb"), level);
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
  EXPECT_EQ(text,
            "Begin CUsbLink::WriteData, bytes = 3, write pipe = 101, time-out = 5000,\n"
            "OutPipe::Write, write on node 101, len = 3, time-out = 5000, data = " +
                std::string(address) +
                "\n"
                "OutPipe::Write, wrote 3 of 3\n"
                "CUsbLink::WriteData, chunk result 0x10, chunk = 3, written = 3,\n"
                "Begin CUsbLink::ReadData, bytes = 4, read pipe = 100, time-out = 5000,\n"
                "InPipe::Read, read on node 100, len = 4, time-out = 5000\n"
                "InPipe::Read, timed out\n"
                "CUsbLink::ReadData, chunk result 0x26, chunk = 4, read = 0\n");
}

TEST_F(LinkTransferTest, FailedWriteDumpsItsFirstTenBytes) {
  auto script = OpenModel7();
  TraceFile trace(*link_, 3);
  const std::vector<uint8_t> data = Pattern(40);
  script->writeOutcomes = {Ends(PipeStatus::kGone, ENODEV)};
  uint32_t count = 0;
  EXPECT_EQ(link_->WriteData(data.data(), 40, &count), ResultCode::kWriteTimeOut);
  const std::string text = trace.Text(*link_);
  EXPECT_NE(text.find("OutPipe::Write, printer gone after 0 bytes, errno 19 (No such device), "
                      "written = 0, empty writes = 0\n"
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
