#include "sim/testbed/usbfs_device.h"

#include <errno.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/linux/open_files.h"
#include "sim/testbed/usbfs_descriptors.h"

namespace kiln::sim {

namespace {

// How long an ask for completed transfers that finds none waits before it is answered
// EAGAIN (unless a transfer completes first).
constexpr auto kReapWait = std::chrono::milliseconds(5);
constexpr uint32_t kCapabilities = USBDEVFS_CAP_BULK_CONTINUATION |
                                   USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                   USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
constexpr const char* kClaimingDriver = "usbfs";
constexpr const char* kKernelDriver = "usblp";

// Answers every request of a host that still holds the node of a device the test bed no
// longer serves (connected after the device's own handler, which it outlives).
gboolean AnswerUnserved(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
  umockdev_ioctl_client_complete(client, -1, ENODEV);
  return TRUE;
}

usbdevfs_urb& UrbOf(UMockdevIoctlData* data) {
  return *reinterpret_cast<usbdevfs_urb*>(data->data);
}

// A copy of the request's argument structure (an interface or endpoint number, or a
// request's fields); nullopt when it cannot be read from the host.
template <typename Argument>
std::optional<Argument> ArgumentOf(UMockdevIoctlClient* client) {
  UMockdevIoctlData* data = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                                        sizeof(Argument), nullptr);
  if (data == nullptr) return std::nullopt;
  Argument value{};
  std::memcpy(&value, data->data, sizeof value);
  umockdev_ioctl_data_unref(data);
  return value;
}

}  // namespace

UsbfsDevice::UsbfsDevice(VirtualPrinter& printer, const PrinterFaults& faults)
    : printer_(printer), faults_(faults), usblpHolds_(faults.usblpBound) {}

UsbfsDevice::~UsbfsDevice() {
  Shutdown();
}

bool UsbfsDevice::Attach(UMockdevTestbed* testbed, const std::string& node, std::string* error) {
  gchar* root = umockdev_testbed_get_root_dir(testbed);
  nodeFile_ = std::string(root) + node;
  g_free(root);
  handler_ = umockdev_ioctl_base_new();
  signal_ = g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(OnIoctl), this);
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(AnswerUnserved), nullptr);
  GError* failure = nullptr;
  if (umockdev_testbed_attach_ioctl(testbed, node.c_str(), handler_, &failure)) return true;
  if (error != nullptr) *error = failure != nullptr ? failure->message : "cannot serve " + node;
  if (failure != nullptr) g_error_free(failure);
  return false;
}

int UsbfsDevice::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
  return static_cast<UsbfsDevice*>(self)->Handle(client) ? TRUE : FALSE;
}

bool UsbfsDevice::Handle(UMockdevIoctlClient* client) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (shutDown_) return false;
  if (clients_.count(client) == 0) clients_[client].self = g_object_ref(client);
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
    Reap(client);
    return true;
  }
  int failure = 0;
  if (gone_) {
    failure = ENODEV;
  } else if (request == USBDEVFS_GET_CAPABILITIES) {
    UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                                          sizeof(uint32_t), nullptr);
    if (caps != nullptr) {
      std::memcpy(caps->data, &kCapabilities, sizeof kCapabilities);
      umockdev_ioctl_data_unref(caps);
    }
  } else if (request == USBDEVFS_SUBMITURB) {
    failure = Submit(client);
  } else if (request == USBDEVFS_DISCARDURB) {
    failure = Discard(client);
  } else if (request == USBDEVFS_CLAIMINTERFACE) {
    failure = Claim(client);
  } else if (request == USBDEVFS_DISCONNECT_CLAIM) {
    usblpHolds_ = false;  // detached by the claim itself
    failure = Claim(client);
  } else if (request == USBDEVFS_IOCTL) {
    failure = DriverRequest(client);
  } else if (request == USBDEVFS_RELEASEINTERFACE) {
    if (claimant_ == client) claimant_ = nullptr;
  } else if (request == USBDEVFS_SETINTERFACE) {
    failure = SetInterface(client);
  } else if (request == USBDEVFS_GETDRIVER) {
    failure = GetDriver(client);
  } else if (request == USBDEVFS_CLEAR_HALT) {
    failure = ClearHalt(client);
  } else if (request != USBDEVFS_SETCONFIGURATION && request != USBDEVFS_RESET &&
             request != USBDEVFS_RESETEP) {
    failure = ENOTTY;
  }
  umockdev_ioctl_client_complete(client, failure == 0 ? 0 : -1, failure);
  return true;
}

int UsbfsDevice::Submit(UMockdevIoctlClient* client) {
  UMockdevIoctlData* data = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                                        sizeof(usbdevfs_urb), nullptr);
  if (data == nullptr) return EFAULT;
  Urb urb;
  urb.urb = data;
  urb.client = static_cast<UMockdevIoctlClient*>(g_object_ref(client));
  const usbdevfs_urb& header = UrbOf(data);
  const uint8_t endpoint = header.endpoint;
  const int length = std::max(header.buffer_length, 0);
  urb.room = static_cast<std::size_t>(length);
  if (length > 0) {
    urb.buffer = umockdev_ioctl_data_resolve(data, G_STRUCT_OFFSET(usbdevfs_urb, buffer),
                                             static_cast<std::size_t>(length), nullptr);
    if (urb.buffer == nullptr) {
      Release(urb);
      return EFAULT;
    }
  }
  int refusal = 0;
  if (header.type == USBDEVFS_URB_TYPE_CONTROL) {
    // Endpoint 0 takes no class or vendor requests: each is answered with a stall.
    Complete(urb, -EPIPE, 0);
    return 0;
  }
  if (endpoint != kBulkOutEndpoint && endpoint != kBulkInEndpoint) {
    refusal = ENOENT;
  } else if (faults_.endpointsRefused) {
    refusal = ENOENT;
  } else if (endpoint == kBulkInEndpoint && SendOnlyActive()) {
    refusal = ENOENT;  // the send-only setting has no IN endpoint
  } else if (header.type != USBDEVFS_URB_TYPE_BULK || faults_.noBulkEndpoints) {
    refusal = EINVAL;
  }
  if (refusal != 0) {
    Release(urb);
    return refusal;
  }
  if (Stalls(endpoint)) {
    Complete(urb, -EPIPE, 0);
  } else if (endpoint == kBulkOutEndpoint) {
    if (length > 0) printer_.Receive(urb.buffer->data, static_cast<std::size_t>(length));
    Complete(urb, 0, length);
  } else {
    waitingIns_.push_back(urb);
  }
  FeedWaitingIns();
  AnswerParked(false);
  return 0;
}

bool UsbfsDevice::Stalls(uint8_t endpoint) {
  const bool out = endpoint == kBulkOutEndpoint;
  const EndpointStall kind = out ? faults_.stallOut : faults_.stallIn;
  Halt& halt = out ? outHalt_ : inHalt_;
  bool& stalledOnce = out ? outStalled_ : inStalled_;
  if (kind == EndpointStall::kAlways || halt == Halt::kHalted) return true;
  if (kind == EndpointStall::kOnce && !stalledOnce) {
    stalledOnce = true;
    halt = Halt::kHalted;
    return true;
  }
  return false;
}

int UsbfsDevice::ClearHalt(UMockdevIoctlClient* client) {
  const std::optional<unsigned> endpoint = ArgumentOf<unsigned>(client);
  if (!endpoint) return EFAULT;
  if (*endpoint == kBulkOutEndpoint) {
    outHalt_ = Halt::kClear;
  } else if (*endpoint == kBulkInEndpoint) {
    inHalt_ = Halt::kClear;
  } else {
    return ENOENT;
  }
  return 0;
}

int UsbfsDevice::Claim(UMockdevIoctlClient* client) {
  const std::optional<unsigned> interface = ArgumentOf<unsigned>(client);
  if (!interface) return EFAULT;
  if (faults_.vanishOnClaim) {
    printer_.Unplug();
    DepartLocked();
    return ENODEV;
  }
  if (*interface != 0) return ENOENT;
  if (faults_.interfaceClaimed || usblpHolds_ || HeldByAnother(client)) return EBUSY;
  claimant_ = client;
  return 0;
}

bool UsbfsDevice::HeldByAnother(UMockdevIoctlClient* client) {
  if (claimant_ == nullptr || claimant_ == client) return false;
  // The kernel releases a claim with the file that made it. A holder that closed the node
  // has let go, even before Pump forgets it; so has one killed in the middle of a request,
  // which umockdev goes on showing as connected: it counts only while a second file, the
  // asking host's being one, still has the node open.
  if (umockdev_ioctl_client_get_connected(claimant_) && FilesOpenOnNode() >= 2) return true;
  DropTransfersOf(claimant_);
  claimant_ = nullptr;
  return false;
}

std::size_t UsbfsDevice::FilesOpenOnNode() const {
  return platform::ProcessesWithOpen(nodeFile_).size();
}

void UsbfsDevice::DropTransfersOf(UMockdevIoctlClient* client) {
  std::erase_if(waitingIns_, [&](Urb& urb) {
    if (urb.client != client) return false;
    Release(urb);
    return true;
  });
  const auto state = clients_.find(client);
  if (state == clients_.end()) return;
  for (Urb& urb : state->second.completed) Release(urb);
  state->second.completed.clear();
}

int UsbfsDevice::SetInterface(UMockdevIoctlClient* client) {
  const std::optional<usbdevfs_setinterface> request = ArgumentOf<usbdevfs_setinterface>(client);
  if (!request) return EFAULT;
  if (request->interface != 0) return ENOENT;
  const unsigned settings = faults_.sendOnlySetting == SendOnlySetting::kNone ? 1 : 2;
  if (request->altsetting >= settings) return EINVAL;
  altSetting_ = request->altsetting;
  return 0;
}

bool UsbfsDevice::SendOnlyActive() const {
  const SendOnlySetting where = faults_.sendOnlySetting;
  return (where == SendOnlySetting::kFirst && altSetting_ == 0) ||
         (where == SendOnlySetting::kSecond && altSetting_ == 1);
}

int UsbfsDevice::DriverRequest(UMockdevIoctlClient* client) {
  const std::optional<usbdevfs_ioctl> request = ArgumentOf<usbdevfs_ioctl>(client);
  if (!request) return EFAULT;
  if (request->ifno != 0) return EINVAL;
  if (request->ioctl_code != static_cast<int>(USBDEVFS_DISCONNECT)) return ENOTTY;
  if (!usblpHolds_) return ENODATA;  // no driver bound to detach
  usblpHolds_ = false;
  return 0;
}

int UsbfsDevice::GetDriver(UMockdevIoctlClient* client) {
  UMockdevIoctlData* data = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                                        sizeof(usbdevfs_getdriver), nullptr);
  if (data == nullptr) return EFAULT;
  auto& request = *reinterpret_cast<usbdevfs_getdriver*>(data->data);
  int result = ENODATA;
  if (request.interface != 0) {
    result = ENOENT;
  } else if (usblpHolds_) {
    std::snprintf(request.driver, sizeof request.driver, "%s", kKernelDriver);
    result = 0;
  } else if (faults_.interfaceClaimed || HeldByAnother(client)) {
    std::snprintf(request.driver, sizeof request.driver, "%s", kClaimingDriver);
    result = 0;
  }
  umockdev_ioctl_data_unref(data);
  return result;
}

int UsbfsDevice::Discard(UMockdevIoctlClient* client) {
  const UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  gulong address = 0;
  std::memcpy(&address, arg->data, std::min<std::size_t>(sizeof address, arg->data_len));
  const auto found = std::find_if(waitingIns_.begin(), waitingIns_.end(), [&](const Urb& urb) {
    return urb.client == client && urb.urb->client_addr == address;
  });
  if (found == waitingIns_.end()) return EINVAL;
  const Urb urb = *found;
  waitingIns_.erase(found);
  Complete(urb, -ENOENT, 0);
  AnswerParked(false);
  return 0;
}

void UsbfsDevice::Complete(Urb urb, int status, int length) {
  urb.status = status;
  urb.length = length;
  ClientState& state = clients_[urb.client];
  if (state.self == nullptr) state.self = g_object_ref(urb.client);
  state.completed.push_back(urb);
}

void UsbfsDevice::FeedWaitingIns() {
  while (!waitingIns_.empty()) {
    const std::size_t pending = printer_.PendingAnswerBytes();
    if (pending == 0) return;
    Urb urb = waitingIns_.front();
    waitingIns_.pop_front();
    // The printer sends whole packets: one that does not fit the rest of the buffer
    // overflows it (babble), ending the transfer after the packets that fit and losing
    // that packet, as on the bus.
    const std::size_t fitting = urb.room - urb.room % kBulkPacketSize;
    const bool overflows = pending > urb.room && fitting != urb.room;
    urb.answer.resize(overflows ? fitting : std::min(pending, urb.room));
    urb.answer.resize(printer_.TakeAnswer(urb.answer.data(), urb.answer.size()));
    if (overflows) {
      std::vector<uint8_t> lost(std::min<std::size_t>(pending - fitting, kBulkPacketSize));
      printer_.TakeAnswer(lost.data(), lost.size());
    }
    Complete(urb, overflows ? -EOVERFLOW : 0, static_cast<int>(urb.answer.size()));
  }
}

// Answers an ask with the client's oldest completed transfer, pointing the host's pointer at
// it; takes over pointer then. Returns false when the client has none.
bool UsbfsDevice::Deliver(UMockdevIoctlClient* client, UMockdevIoctlData* pointer) {
  ClientState& state = clients_[client];
  if (state.completed.empty()) return false;
  Urb urb = state.completed.front();
  state.completed.pop_front();
  // The host's transfer is written only now, when its ask is answered: umockdev has long
  // finished with it since the submission.
  usbdevfs_urb& header = UrbOf(urb.urb);
  header.status = urb.status;
  header.actual_length = urb.length;
  if (urb.buffer != nullptr && !urb.answer.empty()) {
    std::memcpy(urb.buffer->data, urb.answer.data(), urb.answer.size());
  }
  umockdev_ioctl_data_set_ptr(pointer, 0, urb.urb);
  umockdev_ioctl_data_unref(pointer);
  state.draining = true;
  umockdev_ioctl_client_complete(client, 0, 0);
  Release(urb);
  return true;
}

void UsbfsDevice::Reap(UMockdevIoctlClient* client) {
  // Resolved here, on umockdev's thread, so that answering later needs no more reads of
  // the host's memory.
  UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                                           sizeof(gpointer), nullptr);
  if (pointer == nullptr) {
    umockdev_ioctl_client_complete(client, -1, EFAULT);
    return;
  }
  if (Deliver(client, pointer)) return;
  ClientState& state = clients_[client];
  if (gone_ || state.draining) {
    // The host empties its queue after each completion: the first ask that finds it
    // empty is answered at once.
    state.draining = false;
    umockdev_ioctl_data_unref(pointer);
    umockdev_ioctl_client_complete(client, -1, gone_ ? ENODEV : EAGAIN);
    return;
  }
  parked_.push_back({static_cast<UMockdevIoctlClient*>(g_object_ref(client)), pointer,
                     std::chrono::steady_clock::now() + kReapWait});
}

void UsbfsDevice::AnswerParked(bool all) {
  const auto now = std::chrono::steady_clock::now();
  for (auto it = parked_.begin(); it != parked_.end();) {
    UMockdevIoctlClient* client = it->client;
    if (!Deliver(client, it->pointer)) {
      if (!all && !gone_ && now < it->until) {
        ++it;
        continue;
      }
      umockdev_ioctl_data_unref(it->pointer);
      umockdev_ioctl_client_complete(client, -1, gone_ ? ENODEV : EAGAIN);
    }
    g_object_unref(client);
    it = parked_.erase(it);
  }
}

void UsbfsDevice::Depart() {
  std::lock_guard<std::mutex> lock(mutex_);
  DepartLocked();
}

void UsbfsDevice::DepartLocked() {
  gone_ = true;
  for (Urb& urb : waitingIns_) Complete(urb, -ENODEV, 0);
  waitingIns_.clear();
  AnswerParked(false);
}

void UsbfsDevice::Pump() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (shutDown_) return;
  if (!gone_) FeedWaitingIns();
  AnswerParked(false);
  // Forget hosts that closed the node, with what they left behind.
  for (auto it = clients_.begin(); it != clients_.end();) {
    const bool parked = std::any_of(parked_.begin(), parked_.end(),
                                    [&](const ParkedReap& p) { return p.client == it->first; });
    if (parked || umockdev_ioctl_client_get_connected(it->first)) {
      ++it;
      continue;
    }
    DropTransfersOf(it->first);
    g_object_unref(it->second.self);
    if (claimant_ == it->first) claimant_ = nullptr;
    it = clients_.erase(it);
  }
}

void UsbfsDevice::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return;
    shutDown_ = true;
    AnswerParked(true);
    for (Urb& urb : waitingIns_) Release(urb);
    waitingIns_.clear();
    for (auto& [client, state] : clients_) {
      for (Urb& urb : state.completed) Release(urb);
      g_object_unref(state.self);
    }
    clients_.clear();
    claimant_ = nullptr;
  }
  if (handler_ != nullptr) {
    g_signal_handler_disconnect(handler_, signal_);
    g_object_unref(handler_);
    handler_ = nullptr;
  }
}

void UsbfsDevice::Release(Urb& urb) {
  if (urb.buffer != nullptr) umockdev_ioctl_data_unref(urb.buffer);
  if (urb.urb != nullptr) umockdev_ioctl_data_unref(urb.urb);
  urb.buffer = nullptr;
  urb.urb = nullptr;
  if (urb.client != nullptr) g_object_unref(urb.client);
  urb.client = nullptr;
}

}  // namespace kiln::sim
