// The test bed API as other tests use it: printers laid out in sysfs, served over their
// nodes, unplugged and plugged with uevents. Runs under umockdev's preload library (the
// program re-executes itself under it) so that libudev sees the test bed.
#include "sim/testbed/test_bed.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_clock.h"
#include "support/package_builder.h"
#include "support/printer_builder.h"
#include "usb_host.h"

namespace kiln::sim {
namespace {

using testing::Bytes;
using testing::CommandPacket;
using testing::Padded;
using testing::PrinterNode;
using testing::UsbPrinter;

// A printer that restarts after a tenth of a second, shown as a usblp printer whatever
// KILN_TESTBED_TRANSPORT says (these tests talk over its lp node).
testing::PrinterBuilder Printer(uint32_t model, const char* serial) {
  return testing::PrinterBuilder(model).Serial(serial).RestartGapMs(100).Transport(
      UsbTransport::kUsblp);
}

TEST(TestBed, PrintersAppearAsUsblpDevicesAndComeBackUnderNewNodes) {
  testing::FakeClock clock;
  std::string error;
  auto bed = TestBed::Create({Printer(7, "A1"), Printer(25, "B2")}, clock, &error);
  ASSERT_TRUE(bed) << error;
  ASSERT_EQ(bed->PrinterCount(), 2u);
  EXPECT_EQ(bed->NodeName(0), "/dev/usb/lp0");
  EXPECT_EQ(bed->NodeName(1), "/dev/usb/lp1");
  EXPECT_EQ(
      testing::EnumerateUsbPrinters(),
      (std::vector<UsbPrinter>{{"/dev/usb/lp0", "0002", "A1"}, {"/dev/usb/lp1", "0108", "B2"}}));

  testing::UsbmiscMonitor monitor;
  PrinterNode held("/dev/usb/lp0");
  ASSERT_TRUE(held.Transact(0x0400, true));
  bed->Unplug(0);
  EXPECT_EQ(monitor.Next(), "remove /dev/usb/lp0");
  EXPECT_FALSE(held.Write(Padded(CommandPacket(0x0400))));  // a handle on a gone device fails
  EXPECT_EQ(bed->NodeName(0), "");
  EXPECT_EQ(testing::EnumerateUsbPrinters().size(), 1u);

  bed->Plug(0);
  EXPECT_EQ(monitor.Next(), "add /dev/usb/lp2");
  EXPECT_EQ(bed->NodeName(0), "/dev/usb/lp2");

  bed->Restart(1);
  EXPECT_EQ(monitor.Next(), "remove /dev/usb/lp1");
  EXPECT_EQ(monitor.Next(), "add /dev/usb/lp3");
  EXPECT_EQ(
      testing::EnumerateUsbPrinters(),
      (std::vector<UsbPrinter>{{"/dev/usb/lp2", "0002", "A1"}, {"/dev/usb/lp3", "0108", "B2"}}));
}

TEST(TestBed, NodeCarriesEveryByteValueAndLargeWrites) {
  testing::FakeClock clock;
  std::string error;
  auto bed = TestBed::Create({Printer(7, "A1")}, clock, &error);
  ASSERT_TRUE(bed) << error;
  PrinterNode node("/dev/usb/lp0");
  ASSERT_TRUE(node.IsOpen());

  // Every byte value, in pieces far beyond what the PTY takes in one write.
  std::string image = testing::MakePackage(0x1F900, 0x1040, 0x0103, 0, 1, "2.00");
  for (std::size_t i = 0x2000; i < image.size(); ++i) image[i] = static_cast<char>(i * 13);
  ASSERT_TRUE(node.Write(Padded(CommandPacket(0x8400, {0}))));
  ASSERT_TRUE(node.TakeResponse());
  for (std::size_t done = 0; done < image.size(); done += 0xFC00) {
    const std::size_t piece = std::min<std::size_t>(0xFC00, image.size() - done);
    const Bytes payload(image.begin() + static_cast<long>(done),
                        image.begin() + static_cast<long>(done + piece));
    ASSERT_TRUE(node.Write(Padded(CommandPacket(0x8301, {}, payload, 0x40))));
  }
  ASSERT_TRUE(node.Write(Padded(CommandPacket(0x8401))));
  ASSERT_TRUE(node.TakeResponse());

  const auto images = bed->Printer(0).Images();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_TRUE(images[0].bytes == Bytes(image.begin(), image.end()));
  for (const PacketRecord& record : bed->Printer(0).Transcript()) {
    EXPECT_TRUE(record.paddingOk) << record.command;
  }
}

TEST(TestBed, LargeModelIsServedUnpadded) {
  testing::FakeClock clock;
  std::string error;
  auto bed = TestBed::Create({Printer(25, "B2")}, clock, &error);
  ASSERT_TRUE(bed) << error;
  PrinterNode node("/dev/usb/lp0");
  ASSERT_TRUE(node.Write(CommandPacket(0x0400)));
  const auto status = node.TakeResponse();
  ASSERT_TRUE(status);
  EXPECT_EQ(status->command, 0x0400);
  const Bytes piece(0x3000, 0x0D);
  const Bytes packet = CommandPacket(0x8308, {}, piece);
  ASSERT_TRUE(node.Write(Bytes(packet.begin(), packet.begin() + 6)));
  ASSERT_TRUE(node.Write(piece));
  EXPECT_EQ(node.TakeResponse()->command, 0x8308);
  const auto transcript = bed->Printer(0).Transcript();
  ASSERT_EQ(transcript.size(), 2u);
  EXPECT_EQ(transcript[1].payloadLength, 0x3000u);
  EXPECT_TRUE(transcript[1].paddingOk);
}

}  // namespace
}  // namespace kiln::sim
