// Printers without a usblp node, reached over libusb on the test bed's usbfs devices: a
// whole update, an interface another program holds, a stalled endpoint and a printer that
// leaves USB under a transfer.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "models/model_table.h"
#include "platform/usb_printer_nodes.h"
#include "protocol/prn_cmd.h"
#include "sim/testbed/test_bed.h"
#include "support/fake_clock.h"
#include "support/printer_builder.h"
#include "update_on_test_bed.h"
#include "usb/usb_link.h"

namespace kiln {
namespace {

using kiln::testing::PrinterBuilder;
using kiln::testing::UpdateOnTestBed;
using usb::ResultCode;

// A printer shown over usbfs only, with the faults that set() sets.
template <typename Set = void (*)(sim::PrinterFaults&)>
PrinterBuilder OverUsbfs(
    uint32_t model, Set set = [](sim::PrinterFaults&) {}) {
  sim::PrinterFaults faults;
  set(faults);
  return PrinterBuilder(model).Serial("U").Transport(sim::UsbTransport::kUsbfs).Faults(faults);
}

class LibusbLink : public UpdateOnTestBed {
 protected:
  void SetUp() override {
    UpdateOnTestBed::SetUp();
    ::setenv("KILN_LOG_FILE", dir_.File("trace.log").c_str(), 1);
    ::setenv("KILN_LOG_LEVEL", "1", 1);
  }
  void TearDown() override {
    link_.reset();
    ::unsetenv("KILN_LOG_FILE");
    ::unsetenv("KILN_LOG_LEVEL");
    platform::SetTransportChoice(platform::TransportChoice::kAny);
    UpdateOnTestBed::TearDown();
  }
  // The links' debug trace so far (each link's trace ends when the link goes).
  std::string Trace() {
    link_.reset();
    std::ifstream file(dir_.File("trace.log"));
    return std::string(std::istreambuf_iterator<char>(file), {});
  }
  usb::CUsbLink& Link() {
    link_ = std::make_unique<usb::CUsbLink>();
    return *link_;
  }
  // The printer's revision through the link, "(none)" without an answer.
  static std::string RevisionOf(usb::CUsbLink& link) {
    protocol::CPrnCmd prn(&link, protocol::SendMode::kPadded);
    char revision[24] = {};
    if (prn.GetProductRev(revision, sizeof revision) != ResultCode::kAnswered) return "(none)";
    return revision;
  }

  std::unique_ptr<usb::CUsbLink> link_;
};

TEST_F(LibusbLink, WholeUpdateOverLibusb) {
  Start({OverUsbfs(7)});
  ASSERT_TRUE(Update(7, 7, Package(7)));
  sim::VirtualPrinter& printer = bed_->Printer(0);
  EXPECT_EQ(printer.Version(), "2.00");
  EXPECT_EQ(printer.Arrivals(), 2u);
  ASSERT_EQ(printer.Images().size(), 1u);
  EXPECT_EQ(printer.Images()[0].bytes.size(), 0x30000u);
  EXPECT_TRUE(recorder_.PrinterErrors().empty());
}

TEST_F(LibusbLink, TransportIsChosenByNodeAndOption) {
  Start({PrinterBuilder(7).Serial("L").Transport(sim::UsbTransport::kUsblp), OverUsbfs(7)});
  struct Case {
    platform::TransportChoice choice;
    uint32_t instance;
    usb::OpenResult open;
    const char* transport;  // the start of the link's transport text
  };
  const Case cases[] = {
      {platform::TransportChoice::kAny, 1, usb::kOpenOk, "over usblp /dev/usb/lp"},
      {platform::TransportChoice::kAny, 2, usb::kOpenOk, "over libusb 1-"},
      {platform::TransportChoice::kUsblp, 2, usb::kOpenNotActive, "over usblp "},
      // usblp holds the first printer's interface: not opened over libusb.
      {platform::TransportChoice::kLibusb, 1, usb::kOpenNoPipe, "over libusb 1-"},
      {platform::TransportChoice::kLibusb, 2, usb::kOpenOk, "over libusb 1-"},
  };
  for (const Case& c : cases) {
    platform::SetTransportChoice(c.choice);
    usb::CUsbLink& link = Link();
    EXPECT_EQ(link.OpenIOChannel(7, c.instance), c.open)
        << static_cast<int>(c.choice) << " instance " << c.instance;
    EXPECT_EQ(link.transportText().rfind(c.transport, 0), 0u) << link.transportText();
    if (c.open == usb::kOpenOk) {
      EXPECT_EQ(RevisionOf(link), "1.00");
    }
  }
}

TEST_F(LibusbLink, InterfaceClaimedByAnotherProgramIsInUseAndNothingIsSent) {
  Start({OverUsbfs(7, [](auto& f) { f.interfaceClaimed = true; })});
  EXPECT_NE(Link().OpenIOChannel(7, 1), usb::kOpenOk);
  EXPECT_TRUE(bed_->Printer(0).Transcript().empty());
  EXPECT_NE(Trace().find("in use by another program"), std::string::npos);
  const uint32_t vidPid = models::ModelTable[7].vidPid;
  EXPECT_EQ(platform::UnreachableUsbPrinters(static_cast<uint16_t>(models::kVendorId),
                                             models::ProductIdOf(vidPid))
                .size(),
            1u)
      << "the hint tells the user to close the program that uses it";
}

// usblp holds the interface, but its node is not to be seen (a container given only
// /dev/bus/usb): Kiln leaves usblp bound and sends nothing, whichever transport it takes.
TEST_F(LibusbLink, InterfaceHeldByUsblpIsNeverDetached) {
  Start({OverUsbfs(7, [](auto& f) { f.usblpBound = true; })});
  EXPECT_NE(Link().OpenIOChannel(7, 1), usb::kOpenOk) << "usblp's printer, its node not there";
  platform::SetTransportChoice(platform::TransportChoice::kLibusb);
  EXPECT_NE(Link().OpenIOChannel(7, 1), usb::kOpenOk);
  EXPECT_NE(Trace().find("held by the kernel driver usblp; not detached"), std::string::npos);
  EXPECT_TRUE(bed_->Printer(0).Transcript().empty());
}

// Devices that cannot be a printer for Kiln get a clear open result or a failed command,
// never a hang, and not one byte reaches them.
TEST_F(LibusbLink, DevicesThatCannotTakeTheProtocolAreSentNothing) {
  struct Case {
    const char* name;
    void (*set)(sim::PrinterFaults&);
    usb::OpenResult open;  // what opening the model's first printer gives
  };
  const Case cases[] = {
      // Without a printer-class interface it is not one of the model's printers at all.
      {"no printer interface", [](auto& f) { f.noPrinterInterface = true; }, usb::kOpenNoDevice},
      {"no bulk endpoints", [](auto& f) { f.noBulkEndpoints = true; }, usb::kOpenNoPipe},
      {"vanishes during the claim", [](auto& f) { f.vanishOnClaim = true; }, usb::kOpenNoPipe},
      // The descriptor announces endpoints that then refuse every transfer: the open
      // succeeds, the first command fails.
      {"endpoints that lie", [](auto& f) { f.endpointsRefused = true; }, usb::kOpenOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start({OverUsbfs(7, c.set)});
    usb::CUsbLink& link = Link();
    link.SetTimeOuts(500, 500);
    EXPECT_EQ(link.OpenIOChannel(7, 1), c.open);
    if (c.open == usb::kOpenOk) {
      EXPECT_EQ(RevisionOf(link), "(none)");
    }
    link_.reset();
    EXPECT_TRUE(bed_->Printer(0).Transcript().empty());
    bed_.reset();
  }
}

TEST_F(LibusbLink, EndpointThatStallsOnceIsClearedAndTheTransferRetried) {
  Start({OverUsbfs(7, [](auto& f) {
    f.stallOut = sim::EndpointStall::kOnce;
    f.stallIn = sim::EndpointStall::kOnce;
  })});
  usb::CUsbLink& link = Link();
  ASSERT_EQ(link.OpenIOChannel(7, 1), usb::kOpenOk);
  EXPECT_EQ(RevisionOf(link), "1.00");
}

// Wherever a send-only alternate setting stands, Kiln reads through the bidirectional one.
TEST_F(LibusbLink, SendOnlySettingIsPassedOverForTheBidirectionalOne) {
  for (const sim::SendOnlySetting where :
       {sim::SendOnlySetting::kFirst, sim::SendOnlySetting::kSecond}) {
    SCOPED_TRACE(static_cast<int>(where));
    Start({OverUsbfs(7, [where](auto& f) { f.sendOnlySetting = where; })});
    usb::CUsbLink& link = Link();
    ASSERT_EQ(link.OpenIOChannel(7, 1), usb::kOpenOk);
    EXPECT_EQ(RevisionOf(link), "1.00");
    link_.reset();
    bed_.reset();
  }
}

TEST_F(LibusbLink, EndpointThatKeepsStallingFailsTheWriteAndClosesThePipe) {
  Start({OverUsbfs(7, [](auto& f) { f.stallOut = sim::EndpointStall::kAlways; })});
  usb::CUsbLink& link = Link();
  ASSERT_EQ(link.OpenIOChannel(7, 1), usb::kOpenOk);
  const uint8_t packet[64] = {};
  uint32_t written = 1;
  EXPECT_EQ(link.WriteData(packet, sizeof packet, &written), ResultCode::kWriteTimeOut);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(link.WriteData(packet, sizeof packet, &written), ResultCode::kWritePipeInvalid);
  EXPECT_TRUE(bed_->Printer(0).Transcript().empty());
}

// A read waits its whole time-out, however many waits for events that takes.
TEST_F(LibusbLink, ReadOnAQuietPrinterWaitsItsWholeTimeOut) {
  Start({OverUsbfs(7)});
  usb::CUsbLink& link = Link();
  ASSERT_EQ(link.OpenIOChannel(7, 1), usb::kOpenOk);
  link.SetTimeOuts(150000, 150000);  // 1.5 s at the tests' time scale of 0.01
  const auto start = std::chrono::steady_clock::now();
  uint8_t answer[8] = {};
  uint32_t read = 0;
  EXPECT_EQ(link.ReadData(answer, sizeof answer, &read), ResultCode::kReadTimeOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
  EXPECT_EQ(read, 0u);
}

TEST_F(LibusbLink, PrinterLeavingUnderAReadEndsItAsGone) {
  Start({OverUsbfs(7)});
  usb::CUsbLink& link = Link();
  ASSERT_EQ(link.OpenIOChannel(7, 1), usb::kOpenOk);
  link.SetTimeOuts(20000, 5000);
  const auto start = std::chrono::steady_clock::now();
  auto reading = std::async(std::launch::async, [&link] {
    uint8_t answer[8] = {};
    uint32_t read = 0;
    return link.ReadData(answer, sizeof answer, &read);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  bed_->Unplug(0);
  EXPECT_EQ(reading.get(), ResultCode::kReadTimeOut);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10))
      << "gone ends the read at once, not at its time-out";
  uint8_t answer[8] = {};
  EXPECT_EQ(link.ReadData(answer, sizeof answer, nullptr), ResultCode::kReadPipeInvalid)
      << "the read that found the printer gone closed the pipe";
}

}  // namespace
}  // namespace kiln
