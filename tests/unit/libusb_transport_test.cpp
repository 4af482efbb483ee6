// The libusb transport without a device: how libusb's results become pipe results, the
// stall rule, and which node discovery chooses for a printer.

#include <errno.h>
#include <gtest/gtest.h>
#include <libusb.h>

#include <deque>
#include <vector>

#include "platform/libusb/libusb_pipe.h"
#include "platform/linux/choose_transport.h"
#include "usb_link_fixture.h"

namespace kiln::usb::testing {
namespace {

using platform::LibusbOutcome;
using platform::TransportChoice;
using platform::UsbTransport;

TEST(PipeResultFromLibusb, EveryErrorAndStatusHasItsPipeStatus) {
  struct Case {
    LibusbOutcome outcome;
    PipeStatus status;
    int error;
  };
  const Case cases[] = {
      {{0, LIBUSB_TRANSFER_COMPLETED, 7}, PipeStatus::kDone, 0},
      {{0, LIBUSB_TRANSFER_TIMED_OUT, 3}, PipeStatus::kTimedOut, ETIMEDOUT},
      {{LIBUSB_ERROR_TIMEOUT, 0, 0}, PipeStatus::kTimedOut, ETIMEDOUT},
      {{0, LIBUSB_TRANSFER_NO_DEVICE, 0}, PipeStatus::kGone, ENODEV},
      {{LIBUSB_ERROR_NO_DEVICE, 0, 0}, PipeStatus::kGone, ENODEV},
      {{0, LIBUSB_TRANSFER_ERROR, 0}, PipeStatus::kDataError, EPROTO},
      {{LIBUSB_ERROR_IO, 0, 0}, PipeStatus::kDataError, EPROTO},
      {{0, LIBUSB_TRANSFER_OVERFLOW, 0}, PipeStatus::kDataError, EOVERFLOW},
      {{LIBUSB_ERROR_OVERFLOW, 0, 0}, PipeStatus::kDataError, EOVERFLOW},
      {{LIBUSB_ERROR_INVALID_PARAM, 0, 0}, PipeStatus::kRefused, EINVAL},
      {{LIBUSB_ERROR_NOT_SUPPORTED, 0, 0}, PipeStatus::kRefused, EOPNOTSUPP},
      {{0, LIBUSB_TRANSFER_STALL, 0}, PipeStatus::kFailed, EPIPE},
      {{LIBUSB_ERROR_PIPE, 0, 0}, PipeStatus::kFailed, EPIPE},
      {{0, LIBUSB_TRANSFER_CANCELLED, 0}, PipeStatus::kFailed, ECANCELED},
      {{LIBUSB_ERROR_BUSY, 0, 0}, PipeStatus::kFailed, EBUSY},
      {{LIBUSB_ERROR_ACCESS, 0, 0}, PipeStatus::kFailed, EACCES},
      {{LIBUSB_ERROR_OTHER, 0, 0}, PipeStatus::kFailed, 0},
      // The error of the call wins over a status left from an earlier transfer.
      {{LIBUSB_ERROR_NO_DEVICE, LIBUSB_TRANSFER_COMPLETED, 0}, PipeStatus::kGone, ENODEV},
  };
  // An outcome nothing was set on is a transfer that ran to its end.
  EXPECT_EQ(platform::PipeResultFromLibusb(LibusbOutcome{}).status, PipeStatus::kDone);
  for (const Case& c : cases) {
    const PipeResult result = platform::PipeResultFromLibusb(c.outcome);
    EXPECT_EQ(result.status, c.status) << c.outcome.error << "/" << c.outcome.status;
    EXPECT_EQ(result.error, c.error) << c.outcome.error << "/" << c.outcome.status;
    EXPECT_EQ(result.bytes, c.outcome.bytes);
  }
}

TEST(RunClearingStallOnce, TheHaltIsClearedOnceAndTheTransferRetriedOnce) {
  const LibusbOutcome stall{0, LIBUSB_TRANSFER_STALL, 0};
  struct Case {
    const char* name;
    std::deque<LibusbOutcome> runs;
    int clearResult;
    PipeStatus status;
    uint32_t bytes;
    int runsMade;
    int clears;
  };
  const Case cases[] = {
      {"no stall", {{0, 0, 64}}, 0, PipeStatus::kDone, 64, 1, 0},
      {"stall once", {stall, {0, 0, 64}}, 0, PipeStatus::kDone, 64, 2, 1},
      {"stall twice", {stall, stall, {0, 0, 64}}, 0, PipeStatus::kFailed, 0, 2, 1},
      {"stall as call error",
       {{LIBUSB_ERROR_PIPE, 0, 0}, {0, 0, 9}},
       0,
       PipeStatus::kDone,
       9,
       2,
       1},
      // Bytes moved before the stall are not sent again: done with them, the link
      // writes the rest.
      {"stall after bytes", {{0, LIBUSB_TRANSFER_STALL, 512}}, 0, PipeStatus::kDone, 512, 1, 1},
      {"clearing fails", {stall}, LIBUSB_ERROR_IO, PipeStatus::kFailed, 0, 1, 1},
      {"gone while clearing", {stall}, LIBUSB_ERROR_NO_DEVICE, PipeStatus::kGone, 0, 1, 1},
  };
  for (const Case& c : cases) {
    std::deque<LibusbOutcome> runs = c.runs;
    int runsMade = 0;
    int clears = 0;
    const PipeResult result = platform::RunClearingStallOnce(
        [&] {
          ++runsMade;
          const LibusbOutcome next = runs.front();
          runs.pop_front();
          return next;
        },
        [&] {
          ++clears;
          return c.clearResult;
        });
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_EQ(result.bytes, c.bytes) << c.name;
    EXPECT_EQ(runsMade, c.runsMade) << c.name;
    EXPECT_EQ(clears, c.clears) << c.name;
  }
}

// A printer as discovery sees it: usblp's node (maybe) and its USB device node.
platform::UsbPrinterNode Seen(bool lpNode, const std::string& port) {
  platform::UsbPrinterNode printer = Printer("", kVidPid7, "S" + port);
  printer.portPath = port;
  printer.usbNode = "/dev/bus/usb/001/00" + port.substr(2);
  printer.usbPresent = true;
  if (lpNode) {
    printer.lpNode = "/dev/usb/lp0";
    printer.lpPresent = true;
  }
  return printer;
}

// A port path is udev's; anything else is refused whole, never half read.
TEST(ParsePortPath, BusAndPortsOrNothing) {
  struct Case {
    const char* text;
    bool parsed;
    int bus;
    std::vector<uint8_t> ports;
  };
  const Case cases[] = {
      {"1-2", true, 1, {2}},         {"3-1.4.12", true, 3, {1, 4, 12}},
      {"255-255", true, 255, {255}}, {"", false, 0, {}},
      {"1", false, 0, {}},           {"1-", false, 0, {}},
      {"-2", false, 0, {}},          {"1-0", false, 0, {}},
      {"1-256", false, 0, {}},       {"1-2.", false, 0, {}},
      {"1-.2", false, 0, {}},        {"1-2..3", false, 0, {}},
      {" 1-2", false, 0, {}},        {"+1-2", false, 0, {}},
      {"1- 2", false, 0, {}},        {"01-2", false, 0, {}},
      {"1-2a", false, 0, {}},        {"1-2-3", false, 0, {}},
  };
  for (const Case& c : cases) {
    int bus = 0;
    std::vector<uint8_t> ports;
    EXPECT_EQ(platform::ParsePortPath(c.text, &bus, &ports), c.parsed) << '"' << c.text << '"';
    if (c.parsed) {
      EXPECT_EQ(bus, c.bus) << c.text;
      EXPECT_EQ(ports, c.ports) << c.text;
    }
  }
}

TEST(ChooseTransport, NodePresentOrAbsentByForcedChoice) {
  struct Case {
    bool lpNode;
    TransportChoice choice;
    UsbTransport transport;
    const char* node;
    bool present;
  };
  const Case cases[] = {
      {true, TransportChoice::kAny, UsbTransport::kUsblp, "/dev/usb/lp0", true},
      {false, TransportChoice::kAny, UsbTransport::kLibusb, "/dev/bus/usb/001/002", true},
      {true, TransportChoice::kUsblp, UsbTransport::kUsblp, "/dev/usb/lp0", true},
      {false, TransportChoice::kUsblp, UsbTransport::kUsblp, "", false},
      {true, TransportChoice::kLibusb, UsbTransport::kLibusb, "/dev/bus/usb/001/002", true},
      {false, TransportChoice::kLibusb, UsbTransport::kLibusb, "/dev/bus/usb/001/002", true},
  };
  for (const Case& c : cases) {
    platform::UsbPrinterNode printer = Seen(c.lpNode, "1-2");
    platform::ChooseTransport(printer, c.choice);
    const std::string name = (c.lpNode ? "node, choice " : "no node, choice ") +
                             std::to_string(static_cast<int>(c.choice));
    EXPECT_EQ(printer.transport, c.transport) << name;
    EXPECT_EQ(printer.node, c.node) << name;
    EXPECT_EQ(printer.present, c.present) << name;
  }
  // usblp holds the interface but its node is not there yet: not taken over libusb.
  platform::UsbPrinterNode bound = Seen(false, "1-2");
  bound.interfaceDriver = "usblp";
  platform::ChooseTransport(bound, TransportChoice::kAny);
  EXPECT_EQ(bound.transport, UsbTransport::kUsblp);
  EXPECT_FALSE(bound.present);
}

TEST_F(LinkTest, PortEnumerationSelectsOnlyNumberedUsblpNodes) {
  nodes_.list = {Seen(false, "1-3")};
  platform::ChooseTransport(nodes_.list[0], TransportChoice::kAny);
  pipes_.Add("/dev/bus/usb/001/003");
  CUsbLink& link = MakeLink();
  EXPECT_EQ(link.OpenIOChannel(kModel7, 1, kEnumByPort), kOpenNotActive)
      << "a printer without usblp's node has no node number 0";
  EXPECT_TRUE(pipes_.opened.empty());
  EXPECT_EQ(link.OpenIOChannel(kModel7, 1), kOpenOk);
  EXPECT_EQ(link.transportText(), "over libusb 1-3");
}

}  // namespace
}  // namespace kiln::usb::testing
