#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "usb_link_fixture.h"

namespace kiln::usb::testing {
namespace {

using ::testing::ElementsAre;

class DiscoveryTest : public LinkTest {
 protected:
  // Two printers of model 7 with one of model 9 between them, plus a printer of another
  // maker, on the standard class.
  void ListMixedPrinters() {
    auto& list = devices_.For(kUsbPrinterClassGuid);
    list.push_back(Printer("USB\\VID_2E5A&PID_0002\\A", "/dev/usb/lp0"));
    list.push_back(Printer("USB\\VID_2E5A&PID_0103\\B", "/dev/usb/lp1"));
    list.push_back(Printer("USB\\VID_04B8&PID_0002\\C", "/dev/usb/lp2"));
    list.push_back(Printer("usb\\vid_2e5a&pid_0002\\d", "/dev/usb/lp3"));  // lower case
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
  EXPECT_EQ(devices_.lastFlags, kDigcfPresent | kDigcfDeviceInterface);

  EXPECT_EQ(link.OpenIOChannel(kModel7, 1), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "/dev/usb/lp0");
  EXPECT_EQ(link.OpenIOChannel(kModel7, 2), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "/dev/usb/lp3");
  EXPECT_EQ(link.modelSerial(), kModel7);
  EXPECT_EQ(link.OpenIOChannel(kModel9, 1), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "/dev/usb/lp1");
  EXPECT_EQ(link.OpenIOChannel(kModel7, 3), kOpenNotActive) << "found, but no third one";
  EXPECT_STREQ(link.devicePath(), "");
}

TEST_F(DiscoveryTest, PrintersAreOpenedByWhereTheyArePluggedIn) {
  ListMixedPrinters();
  auto& list = devices_.For(kUsbPrinterClassGuid);
  list[0].location = "1-1";
  CUsbLink& link = MakeLink();
  // Without a location the node stands for the printer.
  EXPECT_THAT(link.PrinterIdentities(kModel7), ElementsAre("1-1", "/dev/usb/lp3"));

  // The first printer restarts under a new node and now comes after the other one.
  list.push_back(list[0]);
  list.back().devicePath = "/dev/usb/lp4";
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
  const int openCall = devices_.calls + 1;
  devices_.beforeList = [&list, openCall](int call) {
    if (call == openCall + 1) std::swap(list[2], list[3]);
  };
  auto lp3 = pipes_.Add("/dev/usb/lp3");
  clock_.ClearPauses();
  ASSERT_EQ(link.OpenIOChannelTo(kModel7, "1-1"), kOpenOk);
  EXPECT_EQ(devices_.calls, openCall) << "one listing per open";
  EXPECT_THAT(clock_.Pauses(), ElementsAre(300u));
  const uint8_t command[] = {0xA5, 0x00, 0x03, 0x50, 0x04, 0x00};
  ASSERT_EQ(link.WriteData(command, sizeof command, nullptr), ResultCode::kWritten);
  EXPECT_EQ(lp4->written, std::vector<uint8_t>(std::begin(command), std::end(command)));
  EXPECT_TRUE(lp3->written.empty());
}

TEST_F(DiscoveryTest, EachOpenListsThePrintersOnce) {
  ListMixedPrinters();
  CUsbLink& link = MakeLink();
  EXPECT_EQ(link.OpenIOChannel(kModel7, 2), kOpenOk);
  EXPECT_EQ(devices_.calls, 1);
  EXPECT_EQ(link.OpenIOChannel(kModel7, 3), kOpenNotActive);
  EXPECT_EQ(devices_.calls, 2);
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

TEST_F(DiscoveryTest, InvalidSerialNumbersAreRejectedBeforeEnumerating) {
  ListMixedPrinters();
  CUsbLink& link = MakeLink();
  EXPECT_EQ(link.OpenIOChannel(0, 1), kOpenNoDevice);
  EXPECT_EQ(link.OpenIOChannel(39, 1), kOpenNoDevice);
  EXPECT_EQ(devices_.calls, 0);
}

TEST_F(DiscoveryTest, WithoutTheFilterTheModelIsCorrectedFromTheInstanceId) {
  ListMixedPrinters();
  CUsbLink& link = MakeLink();
  EXPECT_EQ(link.OpenIOChannel(kModel7, 2, kEnumPresent), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "/dev/usb/lp1");
  EXPECT_EQ(link.modelSerial(), kModel9);
  // A VID/PID in no row leaves the caller's model.
  EXPECT_EQ(link.OpenIOChannel(kModel7, 3, kEnumPresent), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "/dev/usb/lp2");
  EXPECT_EQ(link.modelSerial(), kModel7);
  // An instance ID cut off after "PID" names no product.
  devices_.For(kUsbPrinterClassGuid).push_back(Printer("USB\\VID_2E5A&PID", "/dev/usb/lp3"));
  EXPECT_EQ(link.OpenIOChannel(kModel7, 5, kEnumPresent), kOpenOk);
  EXPECT_EQ(link.modelSerial(), kModel7);
}

TEST_F(DiscoveryTest, InactiveInterfaceAndPipesThatDoNotOpen) {
  auto& list = devices_.For(kUsbPrinterClassGuid);
  list.push_back(Printer("USB\\VID_2E5A&PID_0002\\A", "/dev/usb/lp0", false));
  list.push_back(Printer("USB\\VID_2E5A&PID_0002\\B", "/dev/usb/lp1"));  // no node
  CUsbLink& link = MakeLink();
  EXPECT_EQ(link.OpenIOChannel(kModel7, 1), kOpenNotActive);
  EXPECT_EQ(link.OpenIOChannel(kModel7, 2), kOpenNoPipe);
  EXPECT_FALSE(link.IsChannelOpen());
  EXPECT_TRUE(clock_.Pauses().empty());
}

TEST_F(DiscoveryTest, EnumerationFailuresSkipAnIndexOrEndTheWalk) {
  auto& list = devices_.For(kUsbPrinterClassGuid);
  // Any other error skips the index, whatever the entry's fields hold.
  DeviceInterface broken = Printer("USB\\VID_2E5A&PID_0002\\X", "/dev/usb/lp9");
  broken.enumError = 1784;
  list.push_back(broken);
  list.push_back(Printer("USB\\VID_2E5A&PID_0002\\A", "/dev/usb/lp0"));
  DeviceInterface invalidHandle;
  invalidHandle.enumError = kErrorInvalidHandle;  // ends the walk
  list.push_back(invalidHandle);
  list.push_back(Printer("USB\\VID_2E5A&PID_0002\\B", "/dev/usb/lp1"));
  pipes_.Add("/dev/usb/lp0");
  pipes_.Add("/dev/usb/lp9");
  CUsbLink& link = MakeLink();
  EXPECT_EQ(link.CountDevices(kModel7), 1u);
  EXPECT_EQ(link.OpenIOChannel(kModel7, 1), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "/dev/usb/lp0");
  // Without the filter the index is taken as it is, and a failed one is not opened.
  EXPECT_EQ(link.OpenIOChannel(kModel7, 1, kEnumPresent), kOpenNotActive);
  // "No more items" ends the walk as well.
  list[2].enumError = kErrorNoMoreItems;
  EXPECT_EQ(link.CountDevices(kModel7), 1u);
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

TEST_F(DiscoveryTest, BeforeWindows2000ThePipesAreFilesBelowThePath) {
  devices_.For(models::ModelInterfaceGuids[kModel7])
      .push_back(Printer("USB\\VID_2E5A&PID_0002\\A", "\\\\.\\qpc0"));
  auto readPipe = pipes_.Add("\\\\.\\qpc0\\PIPE00");  // the write pipe is missing
  CUsbLink& link = MakeLink(platform::kOsNt4);
  EXPECT_EQ(link.OpenIOChannel(kModel7, 1), kOpenSomePipes);
  EXPECT_EQ(readPipe->openPipes, 0) << "the pipe that did open is not left open";
  EXPECT_THAT(pipes_.opened, ElementsAre("\\\\.\\qpc0\\PIPE00", "\\\\.\\qpc0\\PIPE01"));
  EXPECT_FALSE(link.IsChannelOpen());
  pipes_.Add("\\\\.\\qpc0\\PIPE01");
  EXPECT_EQ(link.OpenIOChannel(kModel7, 1), kOpenOk);
  // Fewer printers than the instance index: rejected before looking for one.
  EXPECT_EQ(link.OpenIOChannel(kModel7, 2), kOpenNoDevice);
}

TEST_F(DiscoveryTest, FirstGenerationDriversOfModelsOneAndTwoAreTriedSecond) {
  devices_.For(models::LegacyInterfaceGuids[1])
      .push_back(Printer("USB\\VID_2E5A&PID_0000\\A", "\\\\.\\old0"));
  pipes_.Add("\\\\.\\old0\\PIPE00");
  pipes_.Add("\\\\.\\old0\\PIPE01");
  CUsbLink& link = MakeLink(platform::kOsWin98);
  EXPECT_EQ(link.CountDevices(1), 1u);
  EXPECT_EQ(link.OpenIOChannel(1, 1), kOpenOk);
  EXPECT_STREQ(link.devicePath(), "\\\\.\\old0");
  EXPECT_THAT(clock_.Pauses(), ElementsAre(300u));
  // Not for other models, and not from Windows 2000 on.
  EXPECT_EQ(link.OpenIOChannel(3, 1), kOpenNoDevice);
  CUsbLink& modern = MakeLink(platform::kOsWin2000);
  EXPECT_EQ(modern.CountDevices(1), 0u);
  EXPECT_EQ(modern.OpenIOChannel(1, 1), kOpenNoDevice);
}

TEST_F(DiscoveryTest, PortNumberSelection) {
  auto& list = devices_.For(kUsbPrinterClassGuid);
  auto port = [](const char* id, const char* path, uint32_t number, const char* base,
                 uint32_t vidPid) {
    DeviceInterface entry = Printer(id, path);
    entry.portNumber = number;
    entry.baseName = base;
    entry.vidPidValue = vidPid;
    return entry;
  };
  list.push_back(port("USB\\VID_2E5A&PID_0002\\A", "/dev/usb/lp0", 2, "DOT4", 0x2E5A0002));
  list.push_back(port("USB\\VID_2E5A&PID_0002\\B", "/dev/usb/lp1", 2, "usb", 0x2E5A0103));
  list.push_back(port("USB\\VID_2E5A&PID_0002\\C", "/dev/usb/lp2", 2, "USB", 0x2E5A0002));
  for (const char* path : {"/dev/usb/lp0", "/dev/usb/lp1", "/dev/usb/lp2"}) pipes_.Add(path);
  const uint32_t byPort = kEnumByPort | kEnumPresent;

  // From XP on, "Base Name" must be USB (any case).
  CUsbLink& xp = MakeLink(platform::kOsWinXp);
  EXPECT_EQ(xp.OpenIOChannel(kModel7, 2, byPort), kOpenOk);
  EXPECT_STREQ(xp.devicePath(), "/dev/usb/lp1");
  EXPECT_EQ(xp.OpenIOChannel(kModel7, 1, byPort), kOpenNotActive) << "no port number 1";

  // On Windows 2000 the "VID&PID" value must be the model's.
  CUsbLink& w2k = MakeLink(platform::kOsWin2000);
  EXPECT_EQ(w2k.OpenIOChannel(kModel7, 2, byPort), kOpenOk);
  EXPECT_STREQ(w2k.devicePath(), "/dev/usb/lp0");

  // With both 0x100 and 0x200 the VID/PID filter wins.
  CUsbLink& both = MakeLink(platform::kOsWinXp);
  EXPECT_EQ(both.OpenIOChannel(kModel7, 3, byPort | kEnumByVidPid), kOpenOk);
  EXPECT_STREQ(both.devicePath(), "/dev/usb/lp2");
}

TEST(InterfaceGuid, ParsedFromRegistryForm) {
  Guid guid;
  ASSERT_TRUE(ParseGuid("{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}", &guid));
  EXPECT_EQ(guid.data1, 0x28D78FADu);
  EXPECT_EQ(guid.data2, 0x5A12u);
  EXPECT_EQ(guid.data3, 0x11D1u);
  EXPECT_THAT(guid.data4, ElementsAre(0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2));
  Guid lower;
  ASSERT_TRUE(ParseGuid("28d78fad-5a12-11d1-ae5b-0000f803a8c2", &lower));
  EXPECT_EQ(lower, guid);
  for (const char* bad :
       {"", "{28D78FAD-5A12-11D1-AE5B-0000F803A8C}", "{28D78FAD-5A12-11D1-AE5B0000F803A8C2}",
        "{28D78FAD-5A12-11D1-AE5B-0000F803A8CG}", "{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}x"}) {
    EXPECT_FALSE(ParseGuid(bad, &guid)) << bad;
  }
}

}  // namespace
}  // namespace kiln::usb::testing
