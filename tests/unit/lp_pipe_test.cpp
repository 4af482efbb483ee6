#include "platform/linux/lp_pipe.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/printer_pipes.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace kiln::platform {
namespace {

using testing::PtyPair;

TEST(LpPipeErrors, EachErrnoEndsTheTransferOneWay) {
  const struct {
    int error;
    PipeStatus status;
  } cases[] = {
      {0, PipeStatus::kDone},
      {EAGAIN, PipeStatus::kTimedOut},
      {ETIMEDOUT, PipeStatus::kTimedOut},
      {ENODEV, PipeStatus::kGone},
      {EIO, PipeStatus::kGone},
      {EPROTO, PipeStatus::kDataError},
      {EILSEQ, PipeStatus::kDataError},
      {EINVAL, PipeStatus::kRefused},
      {ENOTTY, PipeStatus::kRefused},
      {EBADF, PipeStatus::kRefused},
      {EPIPE, PipeStatus::kFailed},
      {ENOSPC, PipeStatus::kFailed},
  };
  for (const auto& c : cases) {
    const PipeResult result = PipeResultFromErrno(c.error, 7);
    EXPECT_EQ(result.status, c.status) << std::strerror(c.error);
    EXPECT_EQ(result.error, c.error) << "kept for the trace";
    EXPECT_EQ(result.bytes, 7u) << "what moved before the end";
  }
}

TEST(LpPipe, OpeningAMissingNodeFails) {
  EXPECT_EQ(SystemPipeOpener().Open("/dev/usb/no-such-lp"), nullptr);
  EXPECT_EQ(SystemPipeOpener().Open(""), nullptr);
}

// A node another open file holds (another program) is refused as in use, one the user
// may not open as a permission with what grants it; a missing node is neither, and a node
// let go of opens again.
TEST(LpPipe, ANodeHeldElsewhereOrDeniedIsRefusedWithItsReason) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  {
    const int other = ::open(pty.node().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_EQ(SystemPipeOpener().Open(pty.node().c_str()), nullptr);
    EXPECT_EQ(SystemPipeOpener().LastRefusal().kind, OpenRefusal::Kind::kInUse);
    EXPECT_EQ(SystemPipeOpener().LastRefusal().text.rfind("in use by another program", 0), 0u);
    ::close(other);
  }
  EXPECT_NE(SystemPipeOpener().Open(pty.node().c_str()), nullptr);
  EXPECT_EQ(SystemPipeOpener().LastRefusal().kind, OpenRefusal::Kind::kNone);

  EXPECT_EQ(SystemPipeOpener().Open("/proc/sys/kernel/osrelease"), nullptr);
  const OpenRefusal denied = SystemPipeOpener().LastRefusal();
  EXPECT_EQ(denied.kind, OpenRefusal::Kind::kNoAccess);
  EXPECT_EQ(denied.text.rfind("permission denied on /proc/sys/kernel/osrelease: ", 0), 0u);
  EXPECT_EQ(SystemPipeOpener().Open("/dev/usb/no-such-lp"), nullptr);
  EXPECT_EQ(SystemPipeOpener().LastRefusal().kind, OpenRefusal::Kind::kNone);
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

TEST(LpPipe, WriteIsDoneWhenEverythingWentOut) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  auto pipe = SystemPipeOpener().Open(pty.node().c_str());
  ASSERT_NE(pipe, nullptr);
  const std::vector<uint8_t> data(300, 0x5A);
  const PipeResult transfer = pipe->Write(data.data(), 300, 1000);
  EXPECT_EQ(transfer.status, PipeStatus::kDone);
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
  const PipeResult transfer = pipe->Write(data.data(), static_cast<uint32_t>(data.size()), 50);
  EXPECT_EQ(transfer.status, PipeStatus::kTimedOut);
  EXPECT_LT(transfer.bytes, data.size());
}

TEST(LpPipe, ReadReturnsWhatArrivedOrTimesOut) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  auto pipe = SystemPipeOpener().Open(pty.node().c_str());
  ASSERT_NE(pipe, nullptr);
  uint8_t buffer[16] = {};

  PipeResult transfer = pipe->Read(buffer, sizeof buffer, 30);
  EXPECT_EQ(transfer.status, PipeStatus::kTimedOut);

  ASSERT_EQ(::write(pty.master(), "abc", 3), 3);
  transfer = pipe->Read(buffer, sizeof buffer, 1000);
  EXPECT_EQ(transfer.status, PipeStatus::kDone);
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
  const PipeResult read = pipe->Read(buffer, sizeof buffer, 0);  // 0: no time limit
  EXPECT_EQ(read.status, PipeStatus::kGone);
  const PipeResult write = pipe->Write(buffer, sizeof buffer, 0);
  EXPECT_EQ(write.status, PipeStatus::kGone);
}

TEST(LpPipe, ZeroByteReadIsAnEmptyTransferNotALostDevice) {
  // A regular file at its end reads 0 bytes, as usblp does for a zero-length packet.
  const testing::TempDir dir;
  const std::string node = dir.Write("lp0", "");
  auto pipe = SystemPipeOpener().Open(node.c_str());
  ASSERT_NE(pipe, nullptr);
  uint8_t buffer[8] = {};
  for (int i = 0; i < 2; ++i) {
    const PipeResult read = pipe->Read(buffer, sizeof buffer, 100);
    EXPECT_EQ(read.status, PipeStatus::kDone);
    EXPECT_EQ(read.bytes, 0u);
  }
}

}  // namespace
}  // namespace kiln::platform
