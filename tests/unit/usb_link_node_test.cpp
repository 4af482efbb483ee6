// The link on a real node: the Linux pipe on a pseudo-terminal that plays the printer.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "platform/printer_pipes.h"
#include "support/pty_pair.h"
#include "usb_link_fixture.h"

// Allocations made by the thread that counts them (other threads are not counted). The
// replacement pair is malloc/free throughout, which GCC cannot see across inlining.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
thread_local bool countAllocations = false;
thread_local int allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (countAllocations) ++allocations;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}

namespace kiln::usb::testing {
namespace {

using kiln::testing::PtyPair;

class LinkOnNodeTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    ASSERT_TRUE(pty_.ok());
    nodes_.list.push_back(Printer(pty_.node(), kVidPid7, "PTY"));
    probes_ = std::make_unique<FixedProbes>();
    link_ = std::make_unique<CUsbLink>(
        LinkServices{probes_.get(), &platform::SystemPipeOpener(), &nodes_, &clock_});
    ASSERT_EQ(link_->OpenIOChannel(kModel7, 1), kOpenOk);
    link_->SetTimeOuts(100, 100);
  }

  PtyPair pty_;
};

TEST_F(LinkOnNodeTest, WriteReachesThePrinterAndItsAnswerIsRead) {
  std::vector<uint8_t> data(300000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> received;
  std::thread printer([&] {
    std::vector<uint8_t> buffer(65536);
    while (received.size() < data.size()) {
      const ssize_t n = ::read(pty_.master(), buffer.data(), buffer.size());
      if (n <= 0) break;
      received.insert(received.end(), buffer.begin(), buffer.begin() + n);
    }
    (void)!::write(pty_.master(), "\xA5\x50\x00\x02OK", 6);
  });
  uint32_t count = 0;
  countAllocations = true;  // the transfers use the caller's buffers and nothing else
  const ResultCode writeResult =
      link_->WriteData(data.data(), static_cast<uint32_t>(data.size()), &count);
  countAllocations = false;
  EXPECT_EQ(writeResult, ResultCode::kWritten);
  EXPECT_EQ(count, data.size());
  printer.join();
  EXPECT_EQ(received, data);
  uint8_t answer[6];
  link_->SetTimeOuts(2000, 2000);
  countAllocations = true;
  const ResultCode readResult = link_->ReadData(answer, 6, &count);
  countAllocations = false;
  EXPECT_EQ(readResult, ResultCode::kAnswered);
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(answer), 6), std::string("\xA5\x50\x00\x02OK", 6));
}

TEST_F(LinkOnNodeTest, SilentPrinterTimesOutThenTheReadPipeIsGone) {
  uint8_t answer[8];
  uint32_t count = 0;
  EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kReadTimeOut);
  EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kReadPipeInvalid);
}

TEST_F(LinkOnNodeTest, PrinterThatStopsTakingDataEndsTheWriteWithAFailure) {
  // Nobody reads: the node fills up and the chunk does not complete in time.
  std::vector<uint8_t> data(1 << 20, 0x33);
  uint32_t count = 0;
  EXPECT_EQ(link_->WriteData(data.data(), static_cast<uint32_t>(data.size()), &count),
            ResultCode::kWriteTimeOut);
  EXPECT_LT(count, data.size());
  EXPECT_EQ(link_->WriteData(data.data(), 16, &count), ResultCode::kWritePipeInvalid);
}

TEST_F(LinkOnNodeTest, UnpluggedPrinterFailsWithoutWaitingForTheTimeOut) {
  link_->SetTimeOuts(0, 0);  // no time limit: only the hang-up can end these transfers
  pty_.CloseMaster();
  uint8_t answer[8];
  uint32_t count = 0;
  EXPECT_EQ(link_->ReadData(answer, 8, &count), ResultCode::kReadTimeOut);
  std::vector<uint8_t> data(1 << 16, 0x44);
  EXPECT_NE(link_->WriteData(data.data(), static_cast<uint32_t>(data.size()), &count),
            ResultCode::kWritten);
}

}  // namespace
}  // namespace kiln::usb::testing
