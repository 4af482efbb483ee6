#include "sim/in_process_pipe.h"

#include <gtest/gtest.h>

#include "support/fake_clock.h"
#include "support/package_builder.h"
#include "support/printer_wire.h"

namespace kiln::sim {
namespace {

using platform::PipeStatus;
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

  platform::PipeResult Write(platform::PipeFile& pipe, const Bytes& bytes) {
    return pipe.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), 5000);
  }

  testing::FakeClock clock;
  VirtualPrinter printer;
  InProcessPipeOpener opener;
};

TEST_F(InProcessPipeTest, WritesAreDoneAtOnceAndReadsTakeWhatIsQueued) {
  auto pipe = opener.Open("/dev/usb/lp0");
  ASSERT_TRUE(pipe);
  const auto written = Write(*pipe, Padded(CommandPacket(0x0400)));
  EXPECT_EQ(written.status, PipeStatus::kDone);
  EXPECT_EQ(written.bytes, 64u);

  uint8_t header[6] = {};
  const auto first = pipe->Read(header, 4, 5000);
  EXPECT_EQ(first.status, PipeStatus::kDone);
  EXPECT_EQ(first.bytes, 4u);
  EXPECT_EQ(header[0], 0xA5);
  uint8_t rest[64] = {};
  const auto second = pipe->Read(rest, sizeof rest, 5000);
  EXPECT_EQ(second.status, PipeStatus::kDone);
  EXPECT_EQ(second.bytes, 2u + 6u);  // rest of the header and the status summary
  EXPECT_TRUE(clock.Pauses().empty());
}

TEST_F(InProcessPipeTest, ReadWithNothingQueuedWaitsItsTimeOutOnThePrintersClock) {
  auto pipe = opener.Open("/dev/usb/lp0");
  uint8_t buffer[6];
  const auto read = pipe->Read(buffer, 6, 5000);
  EXPECT_EQ(read.status, PipeStatus::kTimedOut);
  EXPECT_EQ(read.bytes, 0u);
  EXPECT_EQ(clock.Pauses(), std::vector<uint32_t>{5000});

  const auto unlimited = pipe->Read(buffer, 6, 0);
  EXPECT_EQ(unlimited.status, PipeStatus::kTimedOut);
  EXPECT_EQ(clock.Pauses().size(), 1u);
}

TEST_F(InProcessPipeTest, PrinterThatLeftUsbFailsItsPipesUntilReopened) {
  auto pipe = opener.Open("/dev/usb/lp0");
  const std::string image = testing::MakePackage(0x2000, 0x1040, 0x0103, 0, 2, "2.00");
  Write(*pipe, Padded(CommandPacket(0x8400, {0})));
  Write(*pipe, Padded(CommandPacket(0x8301, {}, Bytes(image.begin(), image.end()), 0x40)));
  Write(*pipe, Padded(CommandPacket(0x8401)));
  uint8_t buffer[64];
  EXPECT_EQ(pipe->Read(buffer, sizeof buffer, 5000).status, PipeStatus::kDone);

  // Programming takes 2 s, the restart 1 s more: a read that waits into the gap finds the
  // printer gone.
  const auto waited = pipe->Read(buffer, 6, 2500);
  EXPECT_EQ(waited.status, PipeStatus::kGone);
  const auto write = Write(*pipe, Padded(CommandPacket(0x0400)));
  EXPECT_EQ(write.status, PipeStatus::kGone);
  EXPECT_EQ(opener.Open("/dev/usb/lp0"), nullptr);

  clock.Advance(500);
  ASSERT_TRUE(printer.OnUsb());
  EXPECT_EQ(pipe->Read(buffer, 6, 5000).status, PipeStatus::kGone);
  auto fresh = opener.Open("/dev/usb/lp0");
  ASSERT_TRUE(fresh);
  EXPECT_EQ(Write(*fresh, Padded(CommandPacket(0x0400))).status, PipeStatus::kDone);
  EXPECT_EQ(fresh->Read(buffer, 6, 5000).status, PipeStatus::kDone);
}

TEST_F(InProcessPipeTest, UnknownPathsDoNotOpen) {
  EXPECT_EQ(opener.Open("/dev/usb/lp1"), nullptr);
  EXPECT_EQ(opener.Open(nullptr), nullptr);
  opener.Detach("/dev/usb/lp0");
  EXPECT_EQ(opener.Open("/dev/usb/lp0"), nullptr);
}

}  // namespace
}  // namespace kiln::sim
