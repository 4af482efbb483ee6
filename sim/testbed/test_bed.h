#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/linux/unique_fd.h"
#include "sim/printer_config.h"
#include "sim/testbed/sysfs_layout.h"
#include "sim/testbed/usbfs_device.h"
#include "sim/virtual_printer.h"

// The opaque umockdev test bed (a GObject).
struct _UMockdevTestbed;

namespace kiln::sim {

using platform::UniqueFd;

// Virtual printers on a umockdev test bed: each printer appears in the mocked sysfs as a
// usblp printer (usb_device 2e5a:PID, usb_interface class 07, usbmisc lpN) and its
// /dev/usb/lpN is a PTY whose other end a thread serves with the printer's VirtualPrinter.
// When a printer leaves USB (unplugged, restarting after programming) its devices get a
// "remove" uevent and leave sysfs; when it comes back they are added again under a new
// node name (lp1, lp2, ...: a node path cannot be added twice) with an "add" uevent, under
// the product ID it came back with. A printer whose node cannot be opened (openRefused)
// has a dangling link in place of its node's file: listed, never opened.
//
// Shown over usbfs (UsbTransport::kUsbfs, or KILN_TESTBED_TRANSPORT=usbfs for printers that
// do not choose), a printer is a bare USB device with binary descriptors and no usblp node:
// its /dev/bus/usb/001/DDD node serves usbfs requests (UsbfsDevice), and it comes back
// under a new device number.
//
// Programs see the test bed only when they run with umockdev's preload library and
// UMOCKDEV_DIR (which Create puts in this process's environment). kiln-testbed arranges
// both for the command it runs.
class TestBed {
 public:
  // Builds the test bed and starts serving. The clock times the printers (programming,
  // restart gap); it must outlive the test bed. nullptr on failure, with error set.
  static std::unique_ptr<TestBed> Create(const std::vector<VirtualPrinterConfig>& printers,
                                         platform::Clock& clock, std::string* error);
  // Stops the serving threads and removes the test bed's folder.
  ~TestBed();
  TestBed(const TestBed&) = delete;
  TestBed& operator=(const TestBed&) = delete;

  std::size_t PrinterCount() const { return slots_.size(); }
  // The printer behind slot i (0-based, in the order of the configurations).
  VirtualPrinter& Printer(std::size_t i) { return *slots_.at(i)->printer; }
  // The node the printer has now ("/dev/usb/lp0", over usbfs "/dev/bus/usb/001/002");
  // empty while it is off USB.
  std::string NodeName(std::size_t i);
  // The test bed's root folder (UMOCKDEV_DIR).
  std::string RootDir() const { return rootDir_; }

  // Pulls the printer's cable; returns once its remove uevent has been sent.
  void Unplug(std::size_t i);
  // Plugs it back; returns once it has been added under a new node with an add uevent.
  void Plug(std::size_t i);
  // Both: the printer disappears and comes back (remove, then add).
  void Restart(std::size_t i);
  // Returns once the test bed shows every printer as it is now: gone while it is off USB,
  // under a new node once it came back. For a clock that shortens pauses: a printer that
  // changes during a pause is shown changed when the pause ends, as with the real pause.
  void WaitUntilShown();

 private:
  struct Slot {
    std::unique_ptr<VirtualPrinter> printer;
    uint32_t port = 0;
    // What the test bed shows now; guarded by TestBed::mutex_.
    bool shown = false;
    uint32_t shownArrival = 0;
    PrinterPlacement placement;
    int fd = -1;  // the PTY's other end, owned by umockdev
    UsbTransport transport = UsbTransport::kUsblp;
    std::unique_ptr<UsbfsDevice> usbfs;  // while shown over usbfs
    std::thread thread;
  };

  explicit TestBed(_UMockdevTestbed* testbed);
  bool Show(Slot& slot, std::string* error);
  void Hide(Slot& slot);
  int Reconcile(Slot& slot);
  void Serve(Slot& slot);
  void ServeUsbfs(Slot& slot);
  void WaitUntilShownAsPrinter(Slot& slot);

  _UMockdevTestbed* testbed_;
  std::string rootDir_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint32_t nextNode_ = 0;
  uint32_t nextDevnum_ = 2;
  std::atomic<bool> stopping_{false};
  // Node sides of the PTYs of nodes that are gone (see Hide); closed last.
  std::vector<UniqueFd> retiredNodes_;
  // usbfs devices that left USB: hosts may still hold their nodes; shut down last.
  std::vector<std::unique_ptr<UsbfsDevice>> retiredDevices_;
};

}  // namespace kiln::sim
