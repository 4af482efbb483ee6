#include "sim/in_process_pipe.h"

#include <gtest/gtest.h>

#include "support/fake_clock.h"
#include "support/package_builder.h"
#include "support/printer_wire.h"

namespace kiln::sim {
namespace {

using platform::win_error::kGenFailure;
using platform::win_error::kIoIncomplete;
using platform::win_error::kIoPending;
using testing::Bytes;
using testing::CommandPacket;
using testing::Padded;

class InProcessPipeTest : public ::testing::Test {
 protected:
  InProcessPipeTest() : printer(Config(), clock) { opener.Attach("/dev/usb/lp0", printer); }

  static VirtualPrinterConfig Config() {
    VirtualPrinterConfig config;
    config.model = 7;
    config.restartGapMs = 1000;
    return config;
  }

  platform::PipeTransfer Write(platform::PipeFile& pipe, const Bytes& bytes) {
    return pipe.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), 5000);
  }

  testing::FakeClock clock;
  VirtualPrinter printer;
  InProcessPipeOpener opener;
};

TEST_F(InProcessPipeTest, WritesCompleteAtOnceAndReadsTakeWhatIsQueued) {
  auto pipe = opener.Open("/dev/usb/lp0");
  ASSERT_TRUE(pipe);
  const auto written = Write(*pipe, Padded(CommandPacket(0x0400)));
  EXPECT_TRUE(written.completedAtOnce);
  EXPECT_EQ(written.bytes, 64u);

  uint8_t header[6] = {};
  const auto first = pipe->Read(header, 4, 5000);
  EXPECT_TRUE(first.completedAtOnce);
  EXPECT_EQ(first.bytes, 4u);
  EXPECT_EQ(header[0], 0xA5);
  uint8_t rest[64] = {};
  const auto second = pipe->Read(rest, sizeof rest, 5000);
  EXPECT_TRUE(second.completed);
  EXPECT_EQ(second.bytes, 2u + 6u);  // rest of the header and the status summary
  EXPECT_TRUE(clock.Pauses().empty());
}

TEST_F(InProcessPipeTest, ReadWithNothingQueuedWaitsItsTimeOutOnThePrintersClock) {
  auto pipe = opener.Open("/dev/usb/lp0");
  uint8_t buffer[6];
  const auto read = pipe->Read(buffer, 6, 5000);
  EXPECT_FALSE(read.completedAtOnce);
  EXPECT_EQ(read.startError, kIoPending);
  EXPECT_FALSE(read.completed);
  EXPECT_EQ(read.completionError, kIoIncomplete);
  EXPECT_EQ(clock.Pauses(), std::vector<uint32_t>{5000});

  const auto unlimited = pipe->Read(buffer, 6, 0);
  EXPECT_EQ(unlimited.completionError, kIoIncomplete);
  EXPECT_EQ(clock.Pauses().size(), 1u);
}

TEST_F(InProcessPipeTest, PrinterThatLeftUsbFailsItsPipesUntilReopened) {
  auto pipe = opener.Open("/dev/usb/lp0");
  const std::string image = testing::MakePackage(0x2000, 0x1040, 0x0103, 0, 2, "2.00");
  Write(*pipe, Padded(CommandPacket(0x8400, {0})));
  Write(*pipe, Padded(CommandPacket(0x8301, {}, Bytes(image.begin(), image.end()), 0x40)));
  Write(*pipe, Padded(CommandPacket(0x8401)));
  uint8_t buffer[64];
  EXPECT_TRUE(pipe->Read(buffer, sizeof buffer, 5000).completed);

  // Programming takes 2 s, the restart 1 s more: a read that waits into the gap finds the
  // printer gone.
  const auto waited = pipe->Read(buffer, 6, 2500);
  EXPECT_FALSE(waited.completed);
  EXPECT_EQ(waited.completionError, kGenFailure);
  const auto write = Write(*pipe, Padded(CommandPacket(0x0400)));
  EXPECT_FALSE(write.completed);
  EXPECT_EQ(write.startError, kGenFailure);
  EXPECT_EQ(opener.Open("/dev/usb/lp0"), nullptr);

  clock.Advance(500);
  ASSERT_TRUE(printer.OnUsb());
  EXPECT_EQ(pipe->Read(buffer, 6, 5000).completionError, kGenFailure);
  auto fresh = opener.Open("/dev/usb/lp0");
  ASSERT_TRUE(fresh);
  EXPECT_TRUE(Write(*fresh, Padded(CommandPacket(0x0400))).completed);
  EXPECT_TRUE(fresh->Read(buffer, 6, 5000).completed);
}

TEST_F(InProcessPipeTest, UnknownPathsDoNotOpen) {
  EXPECT_EQ(opener.Open("/dev/usb/lp1"), nullptr);
  EXPECT_EQ(opener.Open(nullptr), nullptr);
  opener.Detach("/dev/usb/lp0");
  EXPECT_EQ(opener.Open("/dev/usb/lp0"), nullptr);
}

}  // namespace
}  // namespace kiln::sim
