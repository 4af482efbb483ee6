#include "sim/testbed/test_bed.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <umockdev.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>

#include "models/model_table.h"

namespace kiln::sim {

namespace {

// How long the serving loop waits for the host before it looks at the printer's state
// again (and how long it rests while no host has the node open).
constexpr int kPollMs = 10;
constexpr auto kIdleRest = std::chrono::milliseconds(5);
// Longest wait of Unplug/Plug for the serving thread to show the change.
constexpr auto kChangeTimeout = std::chrono::seconds(10);
constexpr std::size_t kReadChunk = 0x10000;
// How often the serving loop of a usbfs printer hands answers to waiting IN transfers.
constexpr auto kUsbfsPumpRest = std::chrono::milliseconds(2);
constexpr const char* kTransportVariable = "KILN_TESTBED_TRANSPORT";

std::string SysPath(const std::string& devicePath) {
  return "/sys" + devicePath;
}

// Makes every host handle on a node fail, as handles on a device that left USB do: the
// PTY's other end is closed by putting /dev/null in its place under the same descriptor
// number, which umockdev keeps and closes itself later. Returns a handle on the PTY's
// node side: holding it keeps the PTY's number from being given to the next node, which
// umockdev cannot take.
UniqueFd HangUp(int ptyEnd) {
  char nodeSide[64] = {};
  UniqueFd keep;
  if (::ptsname_r(ptyEnd, nodeSide, sizeof nodeSide) == 0) {
    keep = UniqueFd(::open(nodeSide, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  }
  const UniqueFd placeholder(::open("/dev/null", O_RDWR | O_CLOEXEC));
  if (placeholder.get() >= 0) ::dup3(placeholder.get(), ptyEnd, O_CLOEXEC);
  return keep;
}

// Makes the node's file a dangling link: udev still lists the printer, but its node
// cannot be opened. (A node that exists and refuses each open would be closer to a node
// another program holds, but umockdev's preload library aborts after a few dozen failed
// opens of an existing node, and the updater tries thirty times.)
void RefuseOpening(const std::string& nodeFile) {
  ::unlink(nodeFile.c_str());
  (void)::symlink("/nonexistent", nodeFile.c_str());
}

// Makes the node's file a link to a file that exists but that nobody, root included, may
// open for writing: opening the node read-write fails with EACCES, as a node the user has
// no permission for does.
void DenyOpening(const std::string& nodeFile) {
  ::unlink(nodeFile.c_str());
  (void)::symlink("/proc/sys/kernel/osrelease", nodeFile.c_str());
}

// The transport of a printer that does not choose one: KILN_TESTBED_TRANSPORT (usblp or
// usbfs), usblp when unset; nullopt for another value.
std::optional<UsbTransport> DefaultTransport() {
  const char* value = std::getenv(kTransportVariable);
  if (value == nullptr || *value == '\0' || std::string(value) == "usblp") {
    return UsbTransport::kUsblp;
  }
  if (std::string(value) == "usbfs") return UsbTransport::kUsbfs;
  return std::nullopt;
}

}  // namespace

std::unique_ptr<TestBed> TestBed::Create(const std::vector<VirtualPrinterConfig>& printers,
                                         platform::Clock& clock, std::string* error) {
  UMockdevTestbed* testbed = umockdev_testbed_new();
  if (testbed == nullptr) {
    if (error != nullptr) *error = "cannot create the umockdev test bed";
    return nullptr;
  }
  std::unique_ptr<TestBed> bed(new TestBed(testbed));
  const std::optional<UsbTransport> defaultTransport = DefaultTransport();
  for (std::size_t i = 0; i < printers.size(); ++i) {
    auto slot = std::make_unique<Slot>();
    slot->port = static_cast<uint32_t>(i + 2);
    slot->transport = printers[i].transport;
    if (slot->transport == UsbTransport::kDefault) {
      if (!defaultTransport) {
        if (error != nullptr) *error = std::string(kTransportVariable) + " must be usblp or usbfs";
        return nullptr;
      }
      slot->transport = *defaultTransport;
    }
    slot->printer = std::make_unique<VirtualPrinter>(printers[i], clock);
    std::lock_guard<std::mutex> lock(bed->mutex_);
    if (!bed->Show(*slot, error)) return nullptr;
    bed->slots_.push_back(std::move(slot));
  }
  for (auto& slot : bed->slots_) {
    Slot* served = slot.get();
    slot->thread = std::thread([bed = bed.get(), served] { bed->Serve(*served); });
  }
  return bed;
}

TestBed::TestBed(UMockdevTestbed* testbed) : testbed_(testbed) {
  gchar* root = umockdev_testbed_get_root_dir(testbed_);
  rootDir_ = root != nullptr ? root : "";
  g_free(root);
}

TestBed::~TestBed() {
  stopping_ = true;
  for (auto& slot : slots_) {
    if (slot->thread.joinable()) slot->thread.join();
  }
  for (auto& slot : slots_) {
    if (slot->usbfs) slot->usbfs->Shutdown();
  }
  for (auto& device : retiredDevices_) device->Shutdown();
  g_object_unref(testbed_);
}

std::string TestBed::NodeName(std::size_t i) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Slot& slot = *slots_.at(i);
  return slot.shown ? slot.placement.NodeName() : std::string();
}

// Adds the printer's three devices under a new device number and node. Adding sends their
// add uevents (parents first, as the kernel does). Called with mutex_ held.
bool TestBed::Show(Slot& slot, std::string* error) {
  VirtualPrinter& printer = *slot.printer;
  PrinterPlacement& placement = slot.placement;
  placement.port = slot.port;
  placement.devnum = nextDevnum_++;
  placement.node = nextNode_++;
  placement.productId = printer.ProductId();
  placement.serial = printer.Config().serialNumber;
  const models::PrinterModel* row = models::ModelBySerial(printer.Config().model);
  placement.product = row != nullptr ? row->driverName : "Printer";
  placement.transport = slot.transport;
  placement.shape = ShapeOf(printer.Config().faults, placement.productId);
  if (slot.transport == UsbTransport::kUsbfs) {
    // Served before it is added, so that a host that sees the add uevent can open it.
    slot.usbfs = std::make_unique<UsbfsDevice>(printer, printer.Config().faults);
    if (!slot.usbfs->Attach(testbed_, placement.NodeName(), error)) return false;
  }

  GError* failure = nullptr;
  if (!umockdev_testbed_add_from_string(testbed_, DescribePrinter(placement).c_str(), &failure)) {
    if (error != nullptr) *error = failure != nullptr ? failure->message : "cannot add device";
    if (failure != nullptr) g_error_free(failure);
    return false;
  }
  slot.fd = umockdev_testbed_get_dev_fd(testbed_, placement.NodeName().c_str());
  if (slot.fd >= 0) {
    ::fcntl(slot.fd, F_SETFL, ::fcntl(slot.fd, F_GETFL) | O_NONBLOCK);
    // A program started on the test bed (kiln-testbed's command) must not inherit the
    // PTY's other end: a copy held there keeps the node from hanging up when the printer
    // leaves, and the host's reads would wait out their time-out instead of failing as
    // reads on a departed usblp device do.
    ::fcntl(slot.fd, F_SETFD, ::fcntl(slot.fd, F_GETFD) | FD_CLOEXEC);
  }
  if (printer.Config().faults.openRefused) RefuseOpening(rootDir_ + placement.NodeName());
  if (printer.Config().faults.noAccess) DenyOpening(rootDir_ + placement.NodeName());
  slot.shown = true;
  slot.shownArrival = printer.Arrivals();
  return true;
}

// Hangs up the node, sends the remove uevents while the devices are still in sysfs
// (children first, as the kernel does), then takes them out so that enumeration no longer
// lists them. Called with mutex_ held.
void TestBed::Hide(Slot& slot) {
  const PrinterPlacement& placement = slot.placement;
  if (slot.fd >= 0) retiredNodes_.push_back(HangUp(slot.fd));
  std::vector<std::string> paths = {placement.InterfacePath(), placement.UsbDevicePath()};
  if (slot.usbfs) {
    // Transfers in flight end with ENODEV, and the node goes away. The handler stays
    // attached, answering ENODEV, for hosts that still hold the node open: detached, their
    // next request would find umockdev's socket closed and their process would hang in
    // umockdev's preload library instead of seeing the device gone. A new appearance gets
    // a new node, so nothing else is ever attached at this path.
    slot.usbfs->Depart();
    ::unlink((rootDir_ + placement.NodeName()).c_str());
    retiredDevices_.push_back(std::move(slot.usbfs));
  } else {
    paths.insert(paths.begin(), placement.NodeDevicePath());
  }
  for (const std::string& path : paths) {
    umockdev_testbed_uevent(testbed_, SysPath(path).c_str(), "remove");
  }
  // Children first: removing a parent leaves its children's bus and class links behind,
  // and those would stop the printer from being added at the same place again.
  for (const std::string& path : paths) {
    umockdev_testbed_remove_device(testbed_, SysPath(path).c_str());
  }
  slot.fd = -1;
  slot.shown = false;
}

// Makes the test bed show what the printer does now; returns the node's PTY end, or -1
// while the printer is off USB.
int TestBed::Reconcile(Slot& slot) {
  std::lock_guard<std::mutex> lock(mutex_);
  VirtualPrinter& printer = *slot.printer;
  const bool onUsb = printer.OnUsb();
  const uint32_t arrival = printer.Arrivals();
  bool changed = false;
  if (slot.shown && (!onUsb || arrival != slot.shownArrival)) {
    Hide(slot);
    changed = true;
  }
  if (!slot.shown && onUsb) changed = Show(slot, nullptr) || changed;
  if (changed) changed_.notify_all();
  return slot.shown ? slot.fd : -1;
}

// The printer's side of its node: reads what the host writes, hands it to the printer,
// writes the answers back (looping on short writes: the PTY takes only so much at once).
void TestBed::Serve(Slot& slot) {
  if (slot.transport == UsbTransport::kUsbfs) {
    ServeUsbfs(slot);
    return;
  }
  VirtualPrinter& printer = *slot.printer;
  std::vector<uint8_t> inbox(kReadChunk);
  std::vector<uint8_t> outbox;
  int servedFd = -1;
  while (!stopping_) {
    const int fd = Reconcile(slot);
    if (fd != servedFd) {
      outbox.clear();  // answers for a node that is gone are lost with it
      servedFd = fd;
    }
    if (fd < 0) {
      std::this_thread::sleep_for(kIdleRest);
      continue;
    }

    pollfd waitFor{fd, static_cast<short>(POLLIN | (outbox.empty() ? 0 : POLLOUT)), 0};
    const int ready = ::poll(&waitFor, 1, kPollMs);
    bool hostAbsent = false;
    if (ready > 0 && (waitFor.revents & POLLIN) != 0) {
      const ssize_t n = ::read(fd, inbox.data(), inbox.size());
      if (n > 0) {
        printer.Receive(inbox.data(), static_cast<std::size_t>(n));
      } else if (n < 0 && errno == EIO) {
        hostAbsent = true;
      }
    } else if (ready > 0 && (waitFor.revents & (POLLHUP | POLLERR)) != 0) {
      hostAbsent = true;
    }

    for (std::size_t pending = printer.PendingAnswerBytes(); pending > 0;
         pending = printer.PendingAnswerBytes()) {
      const std::size_t at = outbox.size();
      outbox.resize(at + pending);
      outbox.resize(at + printer.TakeAnswer(outbox.data() + at, pending));
    }
    if (!outbox.empty() && !hostAbsent) {
      const ssize_t written = ::write(fd, outbox.data(), outbox.size());
      if (written > 0) outbox.erase(outbox.begin(), outbox.begin() + written);
    }
    // No host has the node open: wait for one instead of spinning on the hang-up.
    if (hostAbsent) std::this_thread::sleep_for(kIdleRest);
  }
}

// Over usbfs the device's handler takes the host's transfers; this loop follows the
// printer's presence and hands its answers to the IN transfers that wait for them. Only
// this thread replaces slot.usbfs once the test bed runs.
void TestBed::ServeUsbfs(Slot& slot) {
  while (!stopping_) {
    Reconcile(slot);
    if (slot.usbfs) slot.usbfs->Pump();
    std::this_thread::sleep_for(kUsbfsPumpRest);
  }
}

void TestBed::WaitUntilShownAsPrinter(Slot& slot) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, kChangeTimeout, [&] {
    const bool onUsb = slot.printer->OnUsb();
    return slot.shown == onUsb && (!onUsb || slot.shownArrival == slot.printer->Arrivals());
  });
}

void TestBed::Unplug(std::size_t i) {
  Slot& slot = *slots_.at(i);
  slot.printer->Unplug();
  WaitUntilShownAsPrinter(slot);
}

void TestBed::Plug(std::size_t i) {
  Slot& slot = *slots_.at(i);
  slot.printer->Plug();
  WaitUntilShownAsPrinter(slot);
}

void TestBed::Restart(std::size_t i) {
  Unplug(i);
  Plug(i);
}

void TestBed::WaitUntilShown() {
  for (auto& slot : slots_) WaitUntilShownAsPrinter(*slot);
}

}  // namespace kiln::sim
