// Printers shown over usbfs, as plain libusb sees them: found by their descriptors, opened,
// claimed and talked to with bulk transfers; unplugged under a waiting transfer; and the
// faults of this transport. Runs under umockdev's preload library (test_bed_main.cpp).
#include <gtest/gtest.h>
#include <libusb.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sim/testbed/test_bed.h"
#include "support/fake_clock.h"
#include "support/printer_builder.h"
#include "support/printer_wire.h"
#include "usb_host.h"

namespace kiln::sim {
namespace {

using testing::Bytes;
using testing::CommandPacket;
using testing::Padded;

constexpr unsigned kTimeoutMs = 2000;
const Bytes kStatusRequest = Padded(CommandPacket(0x0400));

// A host that uses the first device libusb lists.
class LibusbHost {
 public:
  LibusbHost() {
    libusb_init(&context_);
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    if (count > 0) device_ = libusb_ref_device(list[0]);
    if (list != nullptr) libusb_free_device_list(list, 1);
    if (device_ != nullptr && libusb_open(device_, &handle_) != 0) handle_ = nullptr;
  }
  ~LibusbHost() {
    if (handle_ != nullptr) libusb_close(handle_);
    if (device_ != nullptr) libusb_unref_device(device_);
    libusb_exit(context_);
  }
  LibusbHost(const LibusbHost&) = delete;
  LibusbHost& operator=(const LibusbHost&) = delete;

  libusb_context* context() const { return context_; }
  libusb_device* device() const { return device_; }
  libusb_device_handle* handle() const { return handle_; }
  // The result of a bulk OUT of bytes; sent counts what went out.
  int Out(const Bytes& bytes, int* sent = nullptr) {
    int done = 0;
    Bytes copy = bytes;
    const int result = libusb_bulk_transfer(handle_, 0x01, copy.data(),
                                            static_cast<int>(copy.size()), &done, kTimeoutMs);
    if (sent != nullptr) *sent = done;
    return result;
  }
  // The result of a bulk IN of up to 512 bytes; in holds what came.
  int In(Bytes& in, unsigned timeoutMs = kTimeoutMs) {
    in.assign(512, 0);
    int done = 0;
    const int result = libusb_bulk_transfer(handle_, 0x82, in.data(), 512, &done, timeoutMs);
    in.resize(static_cast<std::size_t>(done));
    return result;
  }

 private:
  libusb_context* context_ = nullptr;
  libusb_device* device_ = nullptr;
  libusb_device_handle* handle_ = nullptr;
};

testing::PrinterBuilder UsbfsPrinter() {
  return testing::PrinterBuilder(7).Serial("A1").Transport(UsbTransport::kUsbfs);
}

uint16_t AnsweredCommand(const Bytes& answer) {
  return answer.size() >= 6 ? static_cast<uint16_t>((answer[4] << 8) | answer[5]) : 0;
}

TEST(UsbfsTestBed, LibusbFindsClaimsAndTalksToThePrinterUntilItIsUnplugged) {
  testing::FakeClock clock;
  std::string error;
  auto bed = TestBed::Create({UsbfsPrinter()}, clock, &error);
  ASSERT_TRUE(bed) << error;
  EXPECT_EQ(bed->NodeName(0), "/dev/bus/usb/001/002");
  EXPECT_TRUE(testing::EnumerateUsbPrinters().empty());  // no usblp node

  LibusbHost host;
  ASSERT_NE(host.handle(), nullptr);
  libusb_device_descriptor device{};
  ASSERT_EQ(libusb_get_device_descriptor(host.device(), &device), 0);
  EXPECT_EQ(device.idVendor, 0x2E5A);
  EXPECT_EQ(device.idProduct, 0x0002);
  libusb_config_descriptor* config = nullptr;
  ASSERT_EQ(libusb_get_active_config_descriptor(host.device(), &config), 0);
  const libusb_interface_descriptor& interface = config->interface[0].altsetting[0];
  EXPECT_EQ(interface.bInterfaceClass, 7);
  EXPECT_EQ(interface.bInterfaceProtocol, 2);
  ASSERT_EQ(interface.bNumEndpoints, 2);
  EXPECT_EQ(interface.endpoint[0].bEndpointAddress, 0x01);
  EXPECT_EQ(interface.endpoint[1].bEndpointAddress, 0x82);
  EXPECT_EQ(interface.endpoint[1].bmAttributes, LIBUSB_TRANSFER_TYPE_BULK);
  EXPECT_EQ(interface.endpoint[1].wMaxPacketSize, 512);
  libusb_free_config_descriptor(config);
  EXPECT_EQ(libusb_kernel_driver_active(host.handle(), 0), 0);
  ASSERT_EQ(libusb_claim_interface(host.handle(), 0), 0);

  // An IN transfer with nothing to answer times out and takes nothing from later answers.
  Bytes answer;
  EXPECT_EQ(host.In(answer, 50), LIBUSB_ERROR_TIMEOUT);
  int sent = 0;
  ASSERT_EQ(host.Out(kStatusRequest, &sent), 0);
  EXPECT_EQ(sent, 64);
  ASSERT_EQ(host.In(answer), 0);
  EXPECT_GE(answer.size(), 6u + 3u);
  EXPECT_EQ(answer[0], 0xA5);
  EXPECT_EQ(AnsweredCommand(answer), 0x0400);

  // An IN transfer submitted before the command (as a reading thread does) gets the answer.
  Bytes early(512);
  bool finished = false;
  libusb_transfer* reading = libusb_alloc_transfer(0);
  libusb_fill_bulk_transfer(
      reading, host.handle(), 0x82, early.data(), 512,
      [](libusb_transfer* t) { *static_cast<bool*>(t->user_data) = true; }, &finished, kTimeoutMs);
  ASSERT_EQ(libusb_submit_transfer(reading), 0);
  ASSERT_EQ(host.Out(kStatusRequest), 0);
  while (!finished) libusb_handle_events(host.context());
  EXPECT_EQ(reading->status, LIBUSB_TRANSFER_COMPLETED);
  EXPECT_EQ(AnsweredCommand(early), 0x0400);
  libusb_free_transfer(reading);
  const auto transcript = bed->Printer(0).Transcript();
  ASSERT_EQ(transcript.size(), 2u);
  EXPECT_EQ(transcript[0].writes, 1u);

  // Unplugged under a waiting IN transfer: it ends, and so does every later one.
  std::thread unplug([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    bed->Unplug(0);
  });
  EXPECT_EQ(host.In(answer), LIBUSB_ERROR_NO_DEVICE);
  unplug.join();
  EXPECT_EQ(host.Out(kStatusRequest), LIBUSB_ERROR_NO_DEVICE);
  EXPECT_EQ(bed->Printer(0).Transcript().size(), 2u);
  EXPECT_EQ(bed->NodeName(0), "");

  bed->Plug(0);
  EXPECT_EQ(bed->NodeName(0), "/dev/bus/usb/001/003");
  LibusbHost again;
  ASSERT_NE(again.handle(), nullptr);
  ASSERT_EQ(libusb_claim_interface(again.handle(), 0), 0);
  ASSERT_EQ(again.Out(kStatusRequest), 0);
  ASSERT_EQ(again.In(answer), 0);
  EXPECT_EQ(AnsweredCommand(answer), 0x0400);
}

// Each fault of the transport, and what the host sees of it.
struct FaultCase {
  const char* name;
  std::function<void(PrinterFaults&)> fault;
  std::function<void(LibusbHost&, TestBed&)> check;
};

TEST(UsbfsTestBed, TransportFaults) {
  const FaultCase cases[] = {
      {"out stalls once until the halt is cleared",
       [](PrinterFaults& f) { f.stallOut = EndpointStall::kOnce; },
       [](LibusbHost& host, TestBed& bed) {
         EXPECT_EQ(host.Out(kStatusRequest), LIBUSB_ERROR_PIPE);
         EXPECT_EQ(host.Out(kStatusRequest), LIBUSB_ERROR_PIPE);  // still halted
         EXPECT_TRUE(bed.Printer(0).Transcript().empty());
         ASSERT_EQ(libusb_clear_halt(host.handle(), 0x01), 0);
         EXPECT_EQ(host.Out(kStatusRequest), 0);
         EXPECT_EQ(bed.Printer(0).Transcript().size(), 1u);
       }},
      {"out stalls always", [](PrinterFaults& f) { f.stallOut = EndpointStall::kAlways; },
       [](LibusbHost& host, TestBed& bed) {
         ASSERT_EQ(libusb_clear_halt(host.handle(), 0x01), 0);
         EXPECT_EQ(host.Out(kStatusRequest), LIBUSB_ERROR_PIPE);
         EXPECT_TRUE(bed.Printer(0).Transcript().empty());
       }},
      {"in stalls once and keeps the answer",
       [](PrinterFaults& f) { f.stallIn = EndpointStall::kOnce; },
       [](LibusbHost& host, TestBed&) {
         Bytes answer;
         ASSERT_EQ(host.Out(kStatusRequest), 0);
         EXPECT_EQ(host.In(answer), LIBUSB_ERROR_PIPE);
         ASSERT_EQ(libusb_clear_halt(host.handle(), 0x82), 0);
         EXPECT_EQ(host.In(answer), 0);
         EXPECT_EQ(AnsweredCommand(answer), 0x0400);
       }},
      {"interface claimed by another program", [](PrinterFaults& f) { f.interfaceClaimed = true; },
       [](LibusbHost& host, TestBed&) {
         EXPECT_EQ(libusb_claim_interface(host.handle(), 0), LIBUSB_ERROR_BUSY);
       }},
      {"vanishes during the claim", [](PrinterFaults& f) { f.vanishOnClaim = true; },
       [](LibusbHost& host, TestBed& bed) {
         EXPECT_EQ(libusb_claim_interface(host.handle(), 0), LIBUSB_ERROR_NO_DEVICE);
         bed.WaitUntilShown();
         EXPECT_EQ(bed.NodeName(0), "");
       }},
      {"announced endpoints refuse transfers", [](PrinterFaults& f) { f.endpointsRefused = true; },
       [](LibusbHost& host, TestBed& bed) {
         ASSERT_EQ(libusb_claim_interface(host.handle(), 0), 0);
         EXPECT_EQ(host.Out(kStatusRequest), LIBUSB_ERROR_IO);
         EXPECT_TRUE(bed.Printer(0).Transcript().empty());
       }},
      {"no printer interface, no bulk endpoints",
       [](PrinterFaults& f) { f.noPrinterInterface = f.noBulkEndpoints = true; },
       [](LibusbHost& host, TestBed& bed) {
         libusb_config_descriptor* config = nullptr;
         ASSERT_EQ(libusb_get_active_config_descriptor(host.device(), &config), 0);
         const libusb_interface_descriptor& interface = config->interface[0].altsetting[0];
         EXPECT_EQ(interface.bInterfaceClass, 0xFF);
         for (int i = 0; i < interface.bNumEndpoints; ++i) {
           EXPECT_EQ(interface.endpoint[i].bmAttributes, LIBUSB_TRANSFER_TYPE_INTERRUPT);
         }
         libusb_free_config_descriptor(config);
         EXPECT_EQ(host.Out(kStatusRequest), LIBUSB_ERROR_IO);
         EXPECT_TRUE(bed.Printer(0).Transcript().empty());
       }},
      {"a send-only setting first: reading needs the bidirectional one",
       [](PrinterFaults& f) { f.sendOnlySetting = SendOnlySetting::kFirst; },
       [](LibusbHost& host, TestBed&) {
         Bytes answer;
         ASSERT_EQ(host.Out(kStatusRequest), 0);
         EXPECT_EQ(host.In(answer), LIBUSB_ERROR_IO);
         ASSERT_EQ(libusb_set_interface_alt_setting(host.handle(), 0, 1), 0);
         EXPECT_EQ(host.In(answer), 0);
         EXPECT_EQ(AnsweredCommand(answer), 0x0400);
       }},
      {"usblp holds the interface until a host detaches it",
       [](PrinterFaults& f) { f.usblpBound = true; },
       [](LibusbHost& host, TestBed& bed) {
         EXPECT_EQ(libusb_kernel_driver_active(host.handle(), 0), 1);
         EXPECT_EQ(libusb_claim_interface(host.handle(), 0), LIBUSB_ERROR_BUSY);
         ASSERT_EQ(libusb_detach_kernel_driver(host.handle(), 0), 0);
         ASSERT_EQ(libusb_claim_interface(host.handle(), 0), 0);
         EXPECT_EQ(host.Out(kStatusRequest), 0);
         EXPECT_EQ(bed.Printer(0).Transcript().size(), 1u);
       }},
      // Not a fault: the bus itself. The answer's packet does not fit a 10-byte buffer.
      {"a packet longer than the buffer overflows it and is lost", [](PrinterFaults&) {},
       [](LibusbHost& host, TestBed&) {
         Bytes answer(10, 0);
         int done = -1;
         ASSERT_EQ(host.Out(kStatusRequest), 0);
         EXPECT_EQ(libusb_bulk_transfer(host.handle(), 0x82, answer.data(), 10, &done, kTimeoutMs),
                   LIBUSB_ERROR_OVERFLOW);
         EXPECT_EQ(done, 0);
         EXPECT_EQ(host.In(answer, 100), LIBUSB_ERROR_TIMEOUT);
       }},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    testing::FakeClock clock;
    PrinterFaults faults;
    c.fault(faults);
    std::string error;
    auto bed = TestBed::Create({UsbfsPrinter().Faults(faults)}, clock, &error);
    ASSERT_TRUE(bed) << error;
    LibusbHost host;
    ASSERT_NE(host.handle(), nullptr);
    if (!faults.interfaceClaimed && !faults.vanishOnClaim && !faults.usblpBound) {
      ASSERT_EQ(libusb_claim_interface(host.handle(), 0), 0);
    }
    c.check(host, *bed);
  }
}

TEST(UsbfsTestBed, TransportComesFromTheEnvironmentUnlessThePrinterChooses) {
  testing::FakeClock clock;
  std::string error;
  ::setenv("KILN_TESTBED_TRANSPORT", "usbfs", 1);
  auto bed = TestBed::Create(
      {testing::PrinterBuilder(7), testing::PrinterBuilder(7).Transport(UsbTransport::kUsblp)},
      clock, &error);
  ::setenv("KILN_TESTBED_TRANSPORT", "parallel", 1);
  EXPECT_EQ(TestBed::Create({testing::PrinterBuilder(7)}, clock, &error), nullptr);
  EXPECT_NE(error.find("KILN_TESTBED_TRANSPORT"), std::string::npos);
  ::unsetenv("KILN_TESTBED_TRANSPORT");
  ASSERT_TRUE(bed);
  EXPECT_EQ(bed->NodeName(0), "/dev/bus/usb/001/002");
  EXPECT_EQ(bed->NodeName(1), "/dev/usb/lp1");
}

}  // namespace
}  // namespace kiln::sim
