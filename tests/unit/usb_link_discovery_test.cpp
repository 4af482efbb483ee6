#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "usb_link_fixture.h"

namespace kiln::usb::testing {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;

class DiscoveryTest : public LinkTest {
 protected:
  // Two printers of model 7 with one of model 9 between them, plus a printer of another
  // maker with model 7's product ID.
  void ListMixedPrinters() {
    nodes_.list = {Printer("/dev/usb/lp0", kVidPid7, "A"), Printer("/dev/usb/lp1", kVidPid9, "B"),
                   Printer("/dev/usb/lp2", 0x04B80002, "C"),
                   Printer("/dev/usb/lp3", kVidPid7, "D")};
    for (const char* path : {"/dev/usb/lp0", "/dev/usb/lp1", "/dev/usb/lp2", "/dev/usb/lp3"}) {
      pipes_.Add(path);
    }
  }
};

TEST_F(DiscoveryTest, InstancesOfOneModelAreCountedAndSelectedInOrder) {
  ListMixedPrinters();
  CUsbLink& link = MakeLink();
  EXPECT_EQ(link.CountDevices(kModel7), 2u);
  EXPECT_EQ(link.CountDevices(kModel9), 1u);
  EXPECT_EQ(link.CountDevices(kModel7, kEnumPresent), 4u) << "without the filter all count";

  EXPECT_EQ(link.OpenIOChannel(kModel7, 1), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "/dev/usb/lp0");
  EXPECT_EQ(link.OpenIOChannel(kModel7, 2), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "/dev/usb/lp3");
  EXPECT_EQ(link.modelSerial(), kModel7);
  EXPECT_EQ(link.OpenIOChannel(kModel9, 1), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "/dev/usb/lp1");
  EXPECT_EQ(link.OpenIOChannel(kModel7, 3), kOpenNotActive) << "found, but no third one";
  EXPECT_STREQ(link.devicePath(), "");
  EXPECT_EQ(link.OpenIOChannel(kModel7, 0), kOpenNotActive) << "instances count from 1";
}

TEST_F(DiscoveryTest, PrintersAreOpenedByWhereTheyArePluggedIn) {
  ListMixedPrinters();
  auto& list = nodes_.list;
  list[0].portPath = "1-1";
  CUsbLink& link = MakeLink();
  // Without a port path the node stands for the printer.
  EXPECT_THAT(link.PrinterIdentities(kModel7), ElementsAre("1-1", "/dev/usb/lp3"));

  // The first printer restarts under a new node and now comes after the other one.
  list.push_back(list[0]);
  list.back().node = "/dev/usb/lp4";
  auto lp4 = pipes_.Add("/dev/usb/lp4");
  list.erase(list.begin());
  EXPECT_EQ(link.OpenIOChannelTo(kModel7, "1-1"), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "/dev/usb/lp4");
  EXPECT_EQ(link.identity(), "1-1");

  const auto pausesBefore = clock_.Pauses().size();
  EXPECT_EQ(link.OpenIOChannelTo(kModel7, "1-9"), kOpenNoDevice);
  EXPECT_FALSE(link.IsChannelOpen()) << "the printer opened before is let go";
  EXPECT_EQ(link.OpenIOChannelTo(kModel9, "1-1"), kOpenNoDevice) << "another model is not it";
  EXPECT_EQ(clock_.Pauses().size(), pausesBefore);

  // The printers trade places right after the open has listed them: the open keeps to
  // its one listing, pays one pause, and what is sent reaches the printer asked for.
  const int openCall = nodes_.calls + 1;
  nodes_.beforeList = [&list, openCall](int call) {
    if (call == openCall + 1) std::swap(list[2], list[3]);
  };
  auto lp3 = pipes_.Add("/dev/usb/lp3");
  clock_.ClearPauses();
  ASSERT_EQ(link.OpenIOChannelTo(kModel7, "1-1"), kOpenOk);
  EXPECT_EQ(nodes_.calls, openCall) << "one listing per open";
  EXPECT_THAT(clock_.Pauses(), ElementsAre(300u));
  const uint8_t command[] = {0xA5, 0x00, 0x03, 0x50, 0x04, 0x00};
  ASSERT_EQ(link.WriteData(command, sizeof command, nullptr), ResultCode::kWritten);
  EXPECT_EQ(lp4->written, std::vector<uint8_t>(std::begin(command), std::end(command)));
  EXPECT_TRUE(lp3->written.empty());
}

TEST_F(DiscoveryTest, SerialNumberAndIdentityComeFromTheNodeFound) {
  nodes_.list = {Printer("/dev/usb/lp0", kVidPid7, "SN&1\\2"), Printer("/dev/usb/lp1", kVidPid7)};
  nodes_.list[1].portPath = "1-4";
  pipes_.Add("/dev/usb/lp0");
  pipes_.Add("/dev/usb/lp1");
  CUsbLink& link = MakeLink();
  ASSERT_EQ(link.OpenIOChannel(kModel7, 1), kOpenOk);
  EXPECT_EQ(link.serial(), "SN&1\\2") << "kept whole, whatever characters it holds";
  EXPECT_EQ(link.identity(), "/dev/usb/lp0");
  ASSERT_EQ(link.OpenIOChannel(kModel7, 2), kOpenOk);
  EXPECT_EQ(link.serial(), "") << "no serial number: none, not the port path";
  EXPECT_EQ(link.identity(), "1-4");
  ASSERT_EQ(link.OpenIOChannel(kModel7, 1), kOpenOk);
  EXPECT_EQ(link.OpenIOChannel(kModel7, 3), kOpenNotActive);
  EXPECT_EQ(link.serial(), "") << "not the serial number of the printer found before";
  EXPECT_EQ(link.identity(), "");
}

TEST_F(DiscoveryTest, EachOpenListsThePrintersOnce) {
  ListMixedPrinters();
  CUsbLink& link = MakeLink();
  EXPECT_EQ(link.OpenIOChannel(kModel7, 2), kOpenOk);
  EXPECT_EQ(nodes_.calls, 1);
  EXPECT_EQ(link.OpenIOChannel(kModel7, 3), kOpenNotActive);
  EXPECT_EQ(nodes_.calls, 2);
}

TEST_F(DiscoveryTest, OnlyASuccessfulOpenPausesThreeHundredMilliseconds) {
  ListMixedPrinters();
  CUsbLink& link = MakeLink();
  EXPECT_EQ(link.OpenIOChannel(12, 1), kOpenNoDevice);
  EXPECT_TRUE(clock_.Pauses().empty());
  EXPECT_EQ(link.OpenIOChannel(kModel7, 1), kOpenOk);
  EXPECT_THAT(clock_.Pauses(), ElementsAre(300u));
  EXPECT_TRUE(link.IsChannelOpen());
}

TEST_F(DiscoveryTest, InvalidSerialNumbersAreRejectedBeforeListing) {
  ListMixedPrinters();
  CUsbLink& link = MakeLink();
  EXPECT_EQ(link.OpenIOChannel(0, 1), kOpenNoDevice);
  EXPECT_EQ(link.OpenIOChannel(39, 1), kOpenNoDevice);
  EXPECT_EQ(link.CountDevices(39), 0u);
  EXPECT_TRUE(link.PrinterIdentities(0).empty());
  EXPECT_EQ(link.OpenIOChannelTo(39, "/dev/usb/lp0"), kOpenNoDevice);
  EXPECT_EQ(nodes_.calls, 0);
}

TEST_F(DiscoveryTest, WithoutTheFilterTheModelIsCorrectedFromTheProductId) {
  ListMixedPrinters();
  CUsbLink& link = MakeLink();
  EXPECT_EQ(link.OpenIOChannel(kModel7, 2, kEnumPresent), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "/dev/usb/lp1");
  EXPECT_EQ(link.modelSerial(), kModel9);
  // A VID/PID in no row leaves the caller's model.
  EXPECT_EQ(link.OpenIOChannel(kModel7, 3, kEnumPresent), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "/dev/usb/lp2");
  EXPECT_EQ(link.modelSerial(), kModel7);
}

TEST_F(DiscoveryTest, ByPortTheInstanceIndexIsTheNodeNumberPlusOne) {
  ListMixedPrinters();
  for (uint32_t i = 0; i < 4; ++i) nodes_.list[i].nodeNumber = 3 - i;  // lp0 is numbered 3
  CUsbLink& link = MakeLink();
  EXPECT_EQ(link.OpenIOChannel(kModel7, 3, kEnumByPort | kEnumPresent), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "/dev/usb/lp1");
  EXPECT_EQ(link.modelSerial(), kModel9);
  EXPECT_EQ(link.OpenIOChannel(kModel7, 5, kEnumByPort), kOpenNotActive) << "no node 4";
  // With both flags the VID/PID filter wins.
  EXPECT_EQ(link.OpenIOChannel(kModel7, 2, kEnumByPort | kEnumByVidPid), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "/dev/usb/lp3");
}

TEST_F(DiscoveryTest, MissingNodeAndPipesThatDoNotOpen) {
  nodes_.list = {Printer("/dev/usb/lp0", kVidPid7, "A", false), Printer("/dev/usb/lp1", kVidPid7)};
  CUsbLink& link = MakeLink();
  EXPECT_EQ(link.OpenIOChannel(kModel7, 1), kOpenNotActive);
  EXPECT_TRUE(pipes_.opened.empty()) << "a node that is gone is not opened";
  EXPECT_EQ(link.OpenIOChannel(kModel7, 2), kOpenNoPipe);
  EXPECT_FALSE(link.IsChannelOpen());
  EXPECT_TRUE(clock_.Pauses().empty());
}

TEST_F(DiscoveryTest, PipesOpenByPathAndMask) {
  ListMixedPrinters();
  CUsbLink& link = MakeLink();
  pipes_.opened.clear();
  EXPECT_EQ(link.OpenIOChannel(kModel7, 1, kEnumDefault, kPipeWrite), kOpenOk);
  EXPECT_THAT(pipes_.opened, ElementsAre("/dev/usb/lp0"));
  uint8_t byte = 0;
  uint32_t count = 0;
  EXPECT_EQ(link.ReadData(&byte, 1, &count), ResultCode::kReadPipeInvalid);

  auto lp3 = pipes_.Add("/dev/usb/lp3");
  EXPECT_EQ(link.OpenIOChannel(kModel7, 2, kEnumDefault, kPipeRead | kPipeStatus), kOpenOk);
  EXPECT_EQ(lp3->openPipes, 2);
  link.CloseIOChannel();
  EXPECT_EQ(lp3->openPipes, 0);
}

TEST_F(DiscoveryTest, EveryPipeIsOpenedOnThePrintersNode) {
  nodes_.list = {Printer("/dev/usb/lp0", kVidPid7)};
  CUsbLink& link = MakeLink();
  EXPECT_EQ(link.OpenIOChannel(kModel7, 1, kEnumDefault, kPipeRead | kPipeWrite | kPipeStatus),
            kOpenNoPipe);
  auto lp0 = pipes_.Add("/dev/usb/lp0");
  EXPECT_EQ(link.OpenIOChannel(kModel7, 1, kEnumDefault, kPipeRead | kPipeWrite | kPipeStatus),
            kOpenOk);
  EXPECT_EQ(lp0->openPipes, 3);
  EXPECT_THAT(pipes_.opened, Each("/dev/usb/lp0"));
}

}  // namespace
}  // namespace kiln::usb::testing
