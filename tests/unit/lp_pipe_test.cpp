#include "platform/lp_pipe.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace kiln::platform {
namespace {

using testing::PtyPair;

TEST(LpPipeErrors, MappedToWindowsErrors) {
  EXPECT_EQ(WinErrorFromErrno(EAGAIN), win_error::kIoPending);
  EXPECT_EQ(WinErrorFromErrno(ENODEV), win_error::kGenFailure);
  EXPECT_EQ(WinErrorFromErrno(EIO), win_error::kGenFailure);
  EXPECT_EQ(WinErrorFromErrno(EPROTO), win_error::kCrc);
  EXPECT_EQ(WinErrorFromErrno(EILSEQ), win_error::kCrc);
  EXPECT_EQ(WinErrorFromErrno(EINVAL), win_error::kInvalidFunction);
}

TEST(LpPipe, OpeningAMissingNodeFails) {
  EXPECT_EQ(SystemPipeOpener().Open("/dev/usb/no-such-lp"), nullptr);
  EXPECT_EQ(SystemPipeOpener().Open(""), nullptr);
}

TEST(LpPipe, PipesOfOneNodeShareOneOpenFile) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  auto read = SystemPipeOpener().Open(pty.node().c_str());
  auto write = SystemPipeOpener().Open(pty.node().c_str());
  ASSERT_NE(read, nullptr);
  ASSERT_NE(write, nullptr);
  EXPECT_EQ(read->TraceHandle(), write->TraceHandle());
}

TEST(LpPipe, WriteCompletesWhenEverythingWentOut) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  auto pipe = SystemPipeOpener().Open(pty.node().c_str());
  ASSERT_NE(pipe, nullptr);
  const std::vector<uint8_t> data(300, 0x5A);
  const PipeTransfer transfer = pipe->Write(data.data(), 300, 1000);
  EXPECT_FALSE(transfer.completedAtOnce);
  EXPECT_EQ(transfer.startError, win_error::kIoPending);
  EXPECT_TRUE(transfer.completed);
  EXPECT_EQ(transfer.bytes, 300u);
  std::vector<uint8_t> received(300);
  size_t got = 0;
  while (got < received.size()) {
    const ssize_t n = ::read(pty.master(), received.data() + got, received.size() - got);
    ASSERT_GT(n, 0);
    got += static_cast<size_t>(n);
  }
  EXPECT_EQ(received, data);
}

TEST(LpPipe, WriteThatNobodyTakesTimesOut) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  auto pipe = SystemPipeOpener().Open(pty.node().c_str());
  ASSERT_NE(pipe, nullptr);
  // Far more than a terminal buffers, with nobody reading the other end.
  const std::vector<uint8_t> data(1 << 20, 0x11);
  const PipeTransfer transfer = pipe->Write(data.data(), static_cast<uint32_t>(data.size()), 50);
  EXPECT_FALSE(transfer.completed);
  EXPECT_EQ(transfer.completionError, win_error::kIoIncomplete);
  EXPECT_LT(transfer.bytes, data.size());
}

TEST(LpPipe, ReadReturnsWhatArrivedOrTimesOut) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  auto pipe = SystemPipeOpener().Open(pty.node().c_str());
  ASSERT_NE(pipe, nullptr);
  uint8_t buffer[16] = {};

  PipeTransfer transfer = pipe->Read(buffer, sizeof buffer, 30);
  EXPECT_EQ(transfer.startError, win_error::kIoPending);
  EXPECT_FALSE(transfer.completed);
  EXPECT_EQ(transfer.completionError, win_error::kIoIncomplete);

  ASSERT_EQ(::write(pty.master(), "abc", 3), 3);
  transfer = pipe->Read(buffer, sizeof buffer, 1000);
  EXPECT_TRUE(transfer.completedAtOnce || transfer.completed);
  EXPECT_EQ(transfer.bytes, 3u);
  EXPECT_EQ(std::memcmp(buffer, "abc", 3), 0);
}

TEST(LpPipe, PrinterGoneIsDeviceLostWithoutWaiting) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  auto pipe = SystemPipeOpener().Open(pty.node().c_str());
  ASSERT_NE(pipe, nullptr);
  pty.CloseMaster();
  uint8_t buffer[8] = {};
  const PipeTransfer read = pipe->Read(buffer, sizeof buffer, 0);  // 0: no time limit
  EXPECT_FALSE(read.completedAtOnce);
  EXPECT_FALSE(read.completed);
  EXPECT_EQ(read.completionError, win_error::kGenFailure);
  const PipeTransfer write = pipe->Write(buffer, sizeof buffer, 0);
  EXPECT_FALSE(write.completed);
  EXPECT_EQ(write.completionError, win_error::kGenFailure);
}

TEST(LpPipe, ZeroByteReadIsAnEmptyTransferNotALostDevice) {
  // A regular file at its end reads 0 bytes, as usblp does for a zero-length packet.
  const testing::TempDir dir;
  const std::string node = dir.Write("lp0", "");
  auto pipe = SystemPipeOpener().Open(node.c_str());
  ASSERT_NE(pipe, nullptr);
  uint8_t buffer[8] = {};
  for (int i = 0; i < 2; ++i) {
    const PipeTransfer read = pipe->Read(buffer, sizeof buffer, 100);
    EXPECT_TRUE(read.completedAtOnce || read.completed);
    EXPECT_EQ(read.bytes, 0u);
    EXPECT_EQ(read.completionError, win_error::kNone);
  }
}

}  // namespace
}  // namespace kiln::platform
