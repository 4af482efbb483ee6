#include "platform/libusb/libusb_pipe.h"

#include <errno.h>
#include <libusb.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/linux/open_files.h"

namespace kiln::platform {

namespace {

// The libusb error that stands for a transfer's completion status.
int ErrorOfStatus(int status) {
  switch (status) {
    case LIBUSB_TRANSFER_COMPLETED:
      return LIBUSB_SUCCESS;
    case LIBUSB_TRANSFER_ERROR:
      return LIBUSB_ERROR_IO;
    case LIBUSB_TRANSFER_TIMED_OUT:
      return LIBUSB_ERROR_TIMEOUT;
    case LIBUSB_TRANSFER_CANCELLED:
      return LIBUSB_ERROR_INTERRUPTED;
    case LIBUSB_TRANSFER_STALL:
      return LIBUSB_ERROR_PIPE;
    case LIBUSB_TRANSFER_NO_DEVICE:
      return LIBUSB_ERROR_NO_DEVICE;
    case LIBUSB_TRANSFER_OVERFLOW:
      return LIBUSB_ERROR_OVERFLOW;
    default:
      return LIBUSB_ERROR_OTHER;
  }
}

}  // namespace

PipeResult PipeResultFromLibusb(const LibusbOutcome& outcome) {
  const int error = outcome.error != 0 ? outcome.error : ErrorOfStatus(outcome.status);
  PipeResult result{PipeStatus::kFailed, outcome.bytes, 0};
  switch (error) {
    case LIBUSB_SUCCESS:
      result.status = PipeStatus::kDone;
      break;
    case LIBUSB_ERROR_TIMEOUT:
      result = {PipeStatus::kTimedOut, outcome.bytes, ETIMEDOUT};
      break;
    case LIBUSB_ERROR_NO_DEVICE:
      result = {PipeStatus::kGone, outcome.bytes, ENODEV};
      break;
    case LIBUSB_ERROR_IO:
      result = {PipeStatus::kDataError, outcome.bytes, EPROTO};
      break;
    case LIBUSB_ERROR_OVERFLOW:
      result = {PipeStatus::kDataError, outcome.bytes, EOVERFLOW};
      break;
    case LIBUSB_ERROR_INVALID_PARAM:
      result = {PipeStatus::kRefused, outcome.bytes, EINVAL};
      break;
    case LIBUSB_ERROR_NOT_SUPPORTED:
      result = {PipeStatus::kRefused, outcome.bytes, EOPNOTSUPP};
      break;
    case LIBUSB_ERROR_PIPE:
      result.error = EPIPE;
      break;
    case LIBUSB_ERROR_INTERRUPTED:
      result.error = ECANCELED;
      break;
    case LIBUSB_ERROR_ACCESS:
      result.error = EACCES;
      break;
    case LIBUSB_ERROR_BUSY:
      result.error = EBUSY;
      break;
    case LIBUSB_ERROR_NOT_FOUND:
      result.error = ENOENT;
      break;
    case LIBUSB_ERROR_NO_MEM:
      result.error = ENOMEM;
      break;
    default:
      break;
  }
  return result;
}

bool IsStall(const LibusbOutcome& outcome) {
  return outcome.error == LIBUSB_ERROR_PIPE ||
         (outcome.error == 0 && outcome.status == LIBUSB_TRANSFER_STALL);
}

namespace {

// A number from 1 to 255 written in decimal digits only (no sign, blank or leading zero).
bool ParseUsbNumber(std::string_view text, int* value) {
  if (text.empty() || text.size() > 3 || text[0] == '0') return false;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return failure == std::errc() && end == text.data() + text.size() && *value <= 255;
}

}  // namespace

bool ParsePortPath(const std::string& portPath, int* bus, std::vector<uint8_t>* ports) {
  const std::string_view text = portPath;
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos || !ParseUsbNumber(text.substr(0, dash), bus)) return false;
  ports->clear();
  std::size_t at = dash + 1;
  for (;;) {
    const std::size_t dot = std::min(text.find('.', at), text.size());
    int port = 0;
    if (!ParseUsbNumber(text.substr(at, dot - at), &port)) return false;
    ports->push_back(static_cast<uint8_t>(port));
    if (dot == text.size()) return true;
    at = dot + 1;
  }
}

namespace {

constexpr uint8_t kPrinterClass = 7;
// Reads that the IN endpoint's packets do not fill evenly go through a buffer of the
// pipe's own, as usblp reads through its own: a packet longer than the rest of a read
// would otherwise overflow it. What the read does not take waits for the next one.
constexpr uint32_t kReadBufferBytes = 8192;

// How many one-second waits a transfer cancelled after an event failure gets to come back.
constexpr int kCancelWaits = 10;

thread_local std::string lastRefusal;

// "/dev/bus/usb/001/002" -> bus 1, address 2.
bool ParseDeviceNode(const char* path, int* bus, int* address) {
  return path != nullptr && std::sscanf(path, "/dev/bus/usb/%d/%d", bus, address) == 2;
}

// The first process other than this one that holds the node open, as "name, process N";
// empty when none is found (best effort: other users' processes are not readable).
std::string ProcessHolding(const std::string& node) {
  const pid_t self = ::getpid();
  for (const pid_t pid : ProcessesWithOpen(node)) {
    if (pid == self) continue;
    const std::string name = ProcessName(pid);
    return (name.empty() ? "?" : name) + ", process " + std::to_string(pid);
  }
  return {};
}

// The printer interface of the active configuration: its number, alternate setting and
// bulk endpoints. An alternate setting with both an OUT and an IN endpoint is preferred.
struct PrinterInterface {
  int number = -1;
  int altSetting = 0;
  uint8_t out = 0;
  uint8_t in = 0;
  uint16_t inPacket = 0;
};

PrinterInterface FindPrinterInterface(libusb_device* device) {
  PrinterInterface best;
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(device, &config) != 0 || config == nullptr) return best;
  for (int i = 0; i < config->bNumInterfaces; ++i) {
    const libusb_interface& interface = config->interface[i];
    for (int a = 0; a < interface.num_altsetting; ++a) {
      const libusb_interface_descriptor& setting = interface.altsetting[a];
      if (setting.bInterfaceClass != kPrinterClass) continue;
      PrinterInterface candidate{setting.bInterfaceNumber, setting.bAlternateSetting, 0, 0, 0};
      for (int e = 0; e < setting.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
        if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) {
          continue;
        }
        if ((endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0) {
          if (candidate.in == 0) {
            candidate.in = endpoint.bEndpointAddress;
            candidate.inPacket = endpoint.wMaxPacketSize;
          }
        } else if (candidate.out == 0) {
          candidate.out = endpoint.bEndpointAddress;
        }
      }
      if (candidate.out == 0) continue;
      if (best.number < 0 || (best.in == 0 && candidate.in != 0)) best = candidate;
    }
  }
  libusb_free_config_descriptor(config);
  return best;
}

// One open printer: its own libusb context (a fresh one sees the devices there are now),
// the open device and the claimed interface, shared by the pipes opened on it and given
// back with the last of them.
class OpenDevice {
 public:
  OpenDevice() = default;
  OpenDevice(const OpenDevice&) = delete;
  OpenDevice& operator=(const OpenDevice&) = delete;
  ~OpenDevice() {
    if (claimed_) libusb_release_interface(handle_, interface_.number);
    if (handle_ != nullptr) libusb_close(handle_);
    if (context_ != nullptr) libusb_exit(context_);
  }

  // Opens the device that match() picks; the refusal text when it is found but not taken.
  // node is its device node and driver the one discovery saw bound to its printer
  // interface (empty when unknown), for that text.
  template <typename Match>
  bool Open(Match&& match, const std::string& node, const std::string& driver,
            std::string* refusal) {
    if (libusb_init(&context_) != 0) {
      context_ = nullptr;
      return false;
    }
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    libusb_device* device = nullptr;
    for (ssize_t i = 0; i < count && device == nullptr; ++i) {
      if (match(list[i])) device = list[i];
    }
    bool opened = false;
    if (device != nullptr) {
      interface_ = FindPrinterInterface(device);
      bus_ = libusb_get_bus_number(device);
      address_ = libusb_get_device_address(device);
      opened = interface_.number >= 0 && libusb_open(device, &handle_) == 0;
      if (!opened) handle_ = nullptr;
    }
    if (list != nullptr) libusb_free_device_list(list, 1);
    return opened && Claim(node, driver, refusal);
  }

  libusb_context* context() const { return context_; }
  libusb_device_handle* handle() const { return handle_; }
  const PrinterInterface& interface() const { return interface_; }
  int TraceHandle() const { return bus_ * 1000 + address_; }

 private:
  // Claims the printer interface unless a kernel driver or another program holds it:
  // a driver found bound is never detached.
  bool Claim(const std::string& node, const std::string& driver, std::string* refusal) {
    if (libusb_kernel_driver_active(handle_, interface_.number) == 1) {
      *refusal = "the printer interface is held by the kernel driver " +
                 (driver.empty() ? std::string("bound to it") : driver) + "; not detached";
      return false;
    }
    const int claimed = libusb_claim_interface(handle_, interface_.number);
    if (claimed == LIBUSB_ERROR_BUSY) {
      const std::string holder = ProcessHolding(node);
      *refusal = "in use by another program" + (holder.empty() ? "" : " (" + holder + ")");
      return false;
    }
    if (claimed != 0) return false;
    claimed_ = true;
    if (interface_.altSetting != 0 &&
        libusb_set_interface_alt_setting(handle_, interface_.number, interface_.altSetting) != 0) {
      return false;
    }
    return true;
  }

  libusb_context* context_ = nullptr;
  libusb_device_handle* handle_ = nullptr;
  PrinterInterface interface_;
  bool claimed_ = false;
  int bus_ = 0;
  int address_ = 0;
};

void LIBUSB_CALL MarkCompleted(libusb_transfer* transfer) {
  *static_cast<int*>(transfer->user_data) = 1;
}

// One pipe: a transfer of its own, allocated once, driven by the events of the device's
// context, so that no transfer allocates.
class LibusbPipe final : public PipeFile {
 public:
  explicit LibusbPipe(std::shared_ptr<OpenDevice> device)
      : device_(std::move(device)),
        transfer_(libusb_alloc_transfer(0)),
        readBuffer_(new uint8_t[kReadBufferBytes]) {}
  ~LibusbPipe() override {
    if (transfer_ != nullptr) libusb_free_transfer(transfer_);
  }
  LibusbPipe(const LibusbPipe&) = delete;
  LibusbPipe& operator=(const LibusbPipe&) = delete;

  bool usable() const { return transfer_ != nullptr; }

  PipeResult Write(const uint8_t* data, uint32_t len, uint32_t timeoutMs) override {
    if (transfer_ == nullptr) return PipeResultFromLibusb({LIBUSB_ERROR_OTHER, 0, 0});
    if (len == 0) return PipeResultFromLibusb({});
    const uint8_t endpoint = device_->interface().out;
    return RunClearingStallOnce(
        [&] { return Transfer(endpoint, const_cast<uint8_t*>(data), len, timeoutMs); },
        [&] { return libusb_clear_halt(device_->handle(), endpoint); });
  }

  PipeResult Read(uint8_t* data, uint32_t len, uint32_t timeoutMs) override {
    if (transfer_ == nullptr) return PipeResultFromLibusb({LIBUSB_ERROR_OTHER, 0, 0});
    if (len == 0) return PipeResultFromLibusb({});
    const uint8_t endpoint = device_->interface().in;
    if (endpoint == 0) return PipeResultFromLibusb({LIBUSB_ERROR_NOT_SUPPORTED, 0, 0});
    if (waiting_ > 0) return PipeResultFromLibusb({0, 0, TakeWaiting(data, len)});
    const uint16_t packet = device_->interface().inPacket;
    const bool direct = packet != 0 && len % packet == 0;
    uint8_t* target = direct ? data : readBuffer_.get();
    const uint32_t asked = direct ? len : kReadBufferBytes;
    PipeResult result =
        RunClearingStallOnce([&] { return Transfer(endpoint, target, asked, timeoutMs); },
                             [&] { return libusb_clear_halt(device_->handle(), endpoint); });
    if (!direct) {
      waitingAt_ = 0;
      waiting_ = result.bytes;
      result.bytes = TakeWaiting(data, len);
    }
    return result;
  }

  void Cancel() override {
    if (inFlight_ && transfer_ != nullptr) libusb_cancel_transfer(transfer_);
  }

  int TraceHandle() const override { return device_->TraceHandle(); }

 private:
  uint32_t TakeWaiting(uint8_t* data, uint32_t len) {
    const uint32_t n = std::min(len, waiting_);
    std::memcpy(data, readBuffer_.get() + waitingAt_, n);
    waitingAt_ += n;
    waiting_ -= n;
    return n;
  }

  // Submits the transfer and handles events until it completed; a failure to handle
  // events cancels it, and the wait goes on until libusb has given it back.
  LibusbOutcome Transfer(uint8_t endpoint, uint8_t* data, uint32_t len, uint32_t timeoutMs) {
    int completed = 0;
    libusb_fill_bulk_transfer(transfer_, device_->handle(), endpoint, data, static_cast<int>(len),
                              MarkCompleted, &completed, timeoutMs);
    const int submitted = libusb_submit_transfer(transfer_);
    if (submitted != 0) return LibusbOutcome{submitted, 0, 0};
    inFlight_ = true;
    int eventError = 0;
    int waitsAfterError = 0;
    while (completed == 0) {
      timeval wait{1, 0};
      const int handled =
          libusb_handle_events_timeout_completed(device_->context(), &wait, &completed);
      if (handled < 0 && handled != LIBUSB_ERROR_INTERRUPTED && eventError == 0) {
        eventError = handled;
        libusb_cancel_transfer(transfer_);
      }
      if (eventError != 0 && completed == 0 && ++waitsAfterError > kCancelWaits) {
        // libusb still owns the transfer: it is left to it rather than freed under it.
        transfer_ = nullptr;
        return LibusbOutcome{eventError, 0, 0};
      }
    }
    inFlight_ = false;
    const auto moved = static_cast<uint32_t>(std::max(transfer_->actual_length, 0));
    return LibusbOutcome{eventError, transfer_->status, moved};
  }

  std::shared_ptr<OpenDevice> device_;
  libusb_transfer* transfer_;
  std::unique_ptr<uint8_t[]> readBuffer_;
  uint32_t waitingAt_ = 0;
  uint32_t waiting_ = 0;
  std::atomic<bool> inFlight_{false};
};

class LibusbOpener final : public PipeOpener {
 public:
  std::unique_ptr<PipeFile> Open(const char* devicePath) override {
    int bus = 0;
    int address = 0;
    if (!ParseDeviceNode(devicePath, &bus, &address)) return nullptr;
    return OpenShared(devicePath, devicePath, {}, [=](libusb_device* device) {
      return libusb_get_bus_number(device) == bus && libusb_get_device_address(device) == address;
    });
  }

  std::unique_ptr<PipeFile> OpenPrinter(const UsbPrinterNode& printer) override {
    int bus = 0;
    std::vector<uint8_t> ports;
    if (!ParsePortPath(printer.portPath, &bus, &ports)) return Open(printer.node.c_str());
    return OpenShared(
        printer.portPath, printer.node, printer.interfaceDriver, [&](libusb_device* device) {
          uint8_t found[8] = {};
          const int depth = libusb_get_port_numbers(device, found, sizeof found);
          return libusb_get_bus_number(device) == bus && depth == static_cast<int>(ports.size()) &&
                 std::equal(ports.begin(), ports.end(), found);
        });
  }

  std::string LastRefusal() const override { return lastRefusal; }

 private:
  template <typename Match>
  std::unique_ptr<PipeFile> OpenShared(const std::string& key, const std::string& node,
                                       const std::string& driver, Match&& match) {
    lastRefusal.clear();
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(open_, [](const auto& entry) { return entry.second.expired(); });
    std::shared_ptr<OpenDevice> device = open_[key].lock();
    if (!device) {
      device = std::make_shared<OpenDevice>();
      if (!device->Open(match, node, driver, &lastRefusal)) return nullptr;
      open_[key] = device;
    }
    auto pipe = std::make_unique<LibusbPipe>(std::move(device));
    if (!pipe->usable()) return nullptr;
    return pipe;
  }

  std::mutex mutex_;
  std::map<std::string, std::weak_ptr<OpenDevice>> open_;
};

}  // namespace

PipeOpener& LibusbPipeOpener() {
  static LibusbOpener opener;
  return opener;
}

}  // namespace kiln::platform
