// Run by kiln-testbed with one M07 printer: finds the printer with libudev the way device
// discovery does, talks to it through /dev/usb/lp0, writes a firmware image and watches
// the printer leave (remove uevent) and come back under the image's product ID on a new
// node (add uevent). Exits 0 when everything was seen, 1 with a message otherwise.
#include <cstdio>
#include <string>
#include <vector>

#include "support/package_builder.h"
#include "usb_host.h"

namespace {

using kiln::testing::Bytes;
using kiln::testing::CommandPacket;
using kiln::testing::Padded;
using kiln::testing::PrinterNode;
using kiln::testing::UsbPrinter;

constexpr uint16_t kImageProductId = 0x0103;  // M09: the printer comes back as another model
// Programming seconds named by the image: long enough, at the test's time scale, that the
// answer to the end of write is read before the printer leaves.
constexpr uint16_t kProgrammingSeconds = 10;

bool failed = false;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  if (!ok) failed = true;
}

bool StatusIsClear(PrinterNode& node) {
  const auto status = node.Transact(0x0400, true);
  return status && status->first == 0xA5 && status->command == 0x0400 && status->data.size() >= 3 &&
         (status->data[0] | status->data[1] | status->data[2]) == 0;
}

// Start of write, 0xFC00-byte data packets (unanswered), end of write.
bool WriteFirmware(PrinterNode& node) {
  const std::string image =
      kiln::testing::MakePackage(0x1F900, 0x1040, kImageProductId, 0, kProgrammingSeconds, "2.00");
  if (!node.Transact(0x8400, true, {0})) return false;
  for (std::size_t done = 0; done < image.size(); done += 0xFC00) {
    const std::size_t piece = std::min<std::size_t>(0xFC00, image.size() - done);
    const Bytes payload(image.begin() + static_cast<long>(done),
                        image.begin() + static_cast<long>(done + piece));
    if (!node.Write(Padded(CommandPacket(0x8301, {}, payload, 0x40)))) return false;
  }
  return node.Transact(0x8401, true).has_value();
}

}  // namespace

int main() {
  Check(kiln::testing::EnumerateUsbPrinters() ==
            std::vector<UsbPrinter>{{"/dev/usb/lp0", "0002", "KLN0000001"}},
        "one M07 printer enumerated at /dev/usb/lp0");

  kiln::testing::UsbmiscMonitor monitor;
  {
    PrinterNode node("/dev/usb/lp0");
    Check(node.IsOpen(), "/dev/usb/lp0 opens");
    Check(StatusIsClear(node), "status request answered: ready, no alert");
    Check(WriteFirmware(node), "firmware image written");
  }

  const std::string removed = monitor.Next();
  Check(removed == "remove /dev/usb/lp0", "remove uevent for /dev/usb/lp0 (got " + removed + ")");
  const std::string added = monitor.Next();
  Check(added == "add /dev/usb/lp1", "add uevent for /dev/usb/lp1 (got " + added + ")");

  Check(kiln::testing::EnumerateUsbPrinters() ==
            std::vector<UsbPrinter>{{"/dev/usb/lp1", "0103", "KLN0000001"}},
        "the printer is enumerated again at /dev/usb/lp1 under product ID 0103");
  PrinterNode again("/dev/usb/lp1");
  Check(again.IsOpen() && StatusIsClear(again), "the restarted printer answers, ready, no alert");

  std::printf("%s\n", failed ? "testbed probe FAILED" : "testbed probe passed");
  return failed ? 1 : 0;
}
