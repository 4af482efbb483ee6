#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "sim/printer_config.h"
#include "sim/virtual_printer.h"

// Opaque umockdev types (GObjects).
struct _UMockdevTestbed;
struct _UMockdevIoctlBase;
struct _UMockdevIoctlClient;
struct _UMockdevIoctlData;

namespace kiln::sim {

// One appearance of a printer as a bare USB device: serves the usbfs requests that hosts
// (libusb's Linux backend) make on its /dev/bus/usb/001/DDD node, through a umockdev ioctl
// handler. Bulk OUT transfers go to the printer's Receive; bulk IN transfers complete with
// its queued answers, or stay submitted until it has some (the host's time-out discards
// them). A departed device completes what is in flight with -ENODEV and refuses the rest.
//
// umockdev runs the handler on its own thread; the serving thread calls Pump. The node of
// a mocked USB device is a plain file, so a host's poll() reports it ready at all times and
// the host asks for completed transfers again and again: an ask that finds none is answered
// after a short wait (or at once when a transfer completes), which keeps such a host from
// spinning.
class UsbfsDevice {
 public:
  UsbfsDevice(VirtualPrinter& printer, const PrinterFaults& faults);
  // Call Shutdown first.
  ~UsbfsDevice();
  UsbfsDevice(const UsbfsDevice&) = delete;
  UsbfsDevice& operator=(const UsbfsDevice&) = delete;

  // Serves the node (before the device is added, so that a host that sees the add uevent
  // can open it). False with error set on failure.
  bool Attach(_UMockdevTestbed* testbed, const std::string& node, std::string* error);
  // The device left USB: transfers in flight complete with -ENODEV, every later request
  // fails with ENODEV.
  void Depart();
  // Hands the printer's answers to waiting IN transfers and answers the asks for completed
  // transfers that are due.
  void Pump();
  // Stops serving: answers what is still waiting and leaves the handler.
  void Shutdown();

 private:
  struct Urb {
    _UMockdevIoctlData* urb = nullptr;  // the host's struct usbdevfs_urb (a reference)
    _UMockdevIoctlData* buffer = nullptr;
    _UMockdevIoctlClient* client = nullptr;
    std::size_t room = 0;  // its buffer's length
    // How it ended, written into the host's structure when the host reaps it.
    int status = 0;
    int length = 0;
    std::vector<uint8_t> answer;  // IN: the bytes it took
  };
  struct ParkedReap {
    _UMockdevIoctlClient* client = nullptr;  // a reference; its ask is unanswered
    _UMockdevIoctlData* pointer = nullptr;   // where the ask wants the transfer's address
    std::chrono::steady_clock::time_point until;
  };
  struct ClientState {
    _UMockdevIoctlClient* self = nullptr;  // a reference
    std::deque<Urb> completed;
    bool draining = false;  // the last ask returned a transfer
  };
  enum class Halt { kClear, kHalted };

  static int OnIoctl(_UMockdevIoctlBase* handler, _UMockdevIoctlClient* client, void* self);
  bool Handle(_UMockdevIoctlClient* client);
  int Submit(_UMockdevIoctlClient* client);
  void Reap(_UMockdevIoctlClient* client);
  bool Deliver(_UMockdevIoctlClient* client, _UMockdevIoctlData* pointer);
  void DepartLocked();
  int Discard(_UMockdevIoctlClient* client);
  int ClearHalt(_UMockdevIoctlClient* client);
  int Claim(_UMockdevIoctlClient* client);
  int GetDriver(_UMockdevIoctlClient* client);
  int SetInterface(_UMockdevIoctlClient* client);
  // Whether the active alternate setting is the send-only one.
  bool SendOnlyActive() const;
  // A request to the interface's kernel driver: only detaching it (USBDEVFS_DISCONNECT).
  int DriverRequest(_UMockdevIoctlClient* client);
  // Whether a host other than client holds the printer interface.
  // Forgets a holder that has let go without a word.
  bool HeldByAnother(_UMockdevIoctlClient* client);
  // How many open files, in any process, refer to the node.
  std::size_t FilesOpenOnNode() const;
  // Forgets the transfers a host left submitted or unreaped.
  void DropTransfersOf(_UMockdevIoctlClient* client);
  // Completes urb with status and length and queues it for its client's next ask.
  void Complete(Urb urb, int status, int length);
  bool Stalls(uint8_t endpoint);
  void FeedWaitingIns();
  void AnswerParked(bool all);
  static void Release(Urb& urb);

  VirtualPrinter& printer_;
  const PrinterFaults faults_;
  std::string nodeFile_;  // the node as the test bed's files hold it (where hosts' fds point)
  _UMockdevIoctlBase* handler_ = nullptr;
  unsigned long signal_ = 0;
  std::mutex mutex_;
  bool gone_ = false;
  bool shutDown_ = false;
  std::deque<Urb> waitingIns_;
  std::map<_UMockdevIoctlClient*, ClientState> clients_;
  // The host whose claim holds the printer interface (one of clients_), until it releases
  // it or closes the node: as the kernel does per open file, every other host's claim is
  // refused meanwhile.
  _UMockdevIoctlClient* claimant_ = nullptr;
  std::deque<ParkedReap> parked_;
  Halt outHalt_ = Halt::kClear;
  Halt inHalt_ = Halt::kClear;
  bool outStalled_ = false;  // the "once" stall has happened
  bool inStalled_ = false;
  unsigned altSetting_ = 0;  // the interface's active alternate setting
  bool usblpHolds_;          // usblp is bound to the interface (until a host detaches it)
};

}  // namespace kiln::sim
