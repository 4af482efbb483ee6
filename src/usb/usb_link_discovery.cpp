// Device discovery: finding the n-th printer of a model among the printer nodes, by the
// model's VID/PID, and opening its pipes.

#include <algorithm>
#include <string>

#include "models/model_table.h"
#include "usb/printer_node_source.h"
#include "usb/transport_text.h"
#include "usb/usb_link.h"

namespace kiln::usb {

using models::ModelBySerial;
using models::PrinterModel;
using platform::UsbPrinterNode;

namespace {

constexpr uint32_t kPauseAfterOpenMs = 300;

uint32_t VidPidOfModel(uint32_t serial) {
  const PrinterModel* model = ModelBySerial(serial);
  return model != nullptr ? model->vidPid : 0;
}

uint32_t VidPidOf(const UsbPrinterNode& node) {
  return (static_cast<uint32_t>(node.vendorId) << 16) | node.productId;
}

// Where the printer is plugged in, which survives its restart; its node otherwise.
std::string IdentityOf(const UsbPrinterNode& node) {
  return node.portPath.empty() ? node.node : node.portPath;
}

// The nodes that count as the model's printers, in node order: with the VID/PID filter
// those with the model's VID/PID, without it every one.
std::vector<const UsbPrinterNode*> ModelNodes(const std::vector<UsbPrinterNode>& nodes,
                                              uint32_t modelSerial, uint32_t enumMode) {
  const bool filtered = (enumMode & kEnumByVidPid) != 0;
  const uint32_t vidPid = VidPidOfModel(modelSerial);
  std::vector<const UsbPrinterNode*> found;
  for (const UsbPrinterNode& node : nodes) {
    if (!filtered || VidPidOf(node) == vidPid) found.push_back(&node);
  }
  return found;
}

}  // namespace

// The nodes one call looks at, listed once (listing reads sysfs for every printer), so
// that counting the printers and selecting one see the same devices. A model serial
// number that names no model lists nothing.
std::vector<UsbPrinterNode> CUsbLink::ListNodes(uint32_t modelSerial) {
  if (ModelBySerial(modelSerial) == nullptr) return {};
  return services_.nodes->PrinterNodes();
}

OpenResult CUsbLink::OpenIOChannel(uint32_t modelSerial, uint32_t instanceIndex, uint32_t enumMode,
                                   uint8_t pipeMask) {
  if (ModelBySerial(modelSerial) == nullptr) return kOpenNoDevice;
  return OpenFrom(services_.nodes->PrinterNodes(), modelSerial, instanceIndex, enumMode, pipeMask);
}

OpenResult CUsbLink::OpenFrom(const std::vector<UsbPrinterNode>& nodes, uint32_t modelSerial,
                              uint32_t instanceIndex, uint32_t enumMode, uint8_t pipeMask) {
  pipeMask_ = pipeMask;
  modelSerial_ = modelSerial;
  refusal_ = {};
  CloseIOChannel();

  const std::vector<const UsbPrinterNode*> candidates = ModelNodes(nodes, modelSerial, enumMode);
  const auto found = static_cast<uint32_t>(candidates.size());
  log_.LogPrint(2, "In OpenIOChannel, model = %d, instance = %d, enum mode = %d, printers = %d\n",
                modelSerial_, instanceIndex, enumMode, found);
  if (found == 0) return kOpenNoDevice;

  // Instance indices count from 1; index 0 selects nothing.
  const UsbPrinterNode* selected = nullptr;
  if ((enumMode & (kEnumByVidPid | kEnumByPort)) == kEnumByPort) {
    const auto numbered = std::find_if(nodes.begin(), nodes.end(), [&](const auto& node) {
      // Only usblp's nodes are numbered.
      const bool hasNumber =
          node.transport == platform::UsbTransport::kUsblp || !node.lpNode.empty();
      return hasNumber && node.nodeNumber + 1 == instanceIndex;
    });
    if (numbered != nodes.end()) selected = &*numbered;
  } else if (instanceIndex - 1 < found) {
    selected = candidates[instanceIndex - 1];
  }
  Select(selected);
  if (selected != nullptr && !selected->present) {
    // The node of the transport chosen for it is missing: say whose node.
    refusal_ = {platform::OpenRefusal::Kind::kOther,
                selected->transport == platform::UsbTransport::kUsblp
                    ? "usblp holds its printer interface, but its usblp node is not here"
                    : "its USB device node is not here"};
  }
  if (selected == nullptr || !selected->present) return kOpenNotActive;

  const OpenResult code = OpenPipes();
  if (code != kOpenOk) return code;
  services_.clock->Sleep(kPauseAfterOpenMs);
  SetIORight();
  return kOpenOk;
}

// Takes over the node's path, identity and serial number (all empty without a node). A
// printer found without the VID/PID filter may be another model than the one asked for;
// its product ID tells which, and the protocol then speaks to that model.
void CUsbLink::Select(const UsbPrinterNode* node) {
  if (node == nullptr) {
    printer_ = platform::UsbPrinterNode{};
    devicePath_.Clear();
    identity_.clear();
    serial_.clear();
    return;
  }
  printer_ = *node;
  devicePath_ = node->node;
  identity_ = IdentityOf(*node);
  serial_ = node->serial;
  const uint32_t vidPid = VidPidOf(*node);
  if (vidPid == VidPidOfModel(modelSerial_)) return;
  const uint32_t corrected = models::ModelSerialFromVidPid(vidPid);
  if (corrected != 0) modelSerial_ = corrected;
}

std::string CUsbLink::transportText() const {
  return identity_.empty() ? std::string() : TransportText(printer_);
}

uint32_t CUsbLink::CountDevices(uint32_t modelSerial, uint32_t enumMode) {
  return static_cast<uint32_t>(ModelNodes(ListNodes(modelSerial), modelSerial, enumMode).size());
}

std::vector<std::string> CUsbLink::PrinterIdentities(uint32_t modelSerial) {
  const std::vector<UsbPrinterNode> nodes = ListNodes(modelSerial);
  std::vector<std::string> identities;
  for (const UsbPrinterNode* node : ModelNodes(nodes, modelSerial, kEnumDefault)) {
    identities.push_back(IdentityOf(*node));
  }
  return identities;
}

OpenResult CUsbLink::OpenIOChannelTo(uint32_t modelSerial, const std::string& identity) {
  const std::vector<UsbPrinterNode> nodes = ListNodes(modelSerial);
  const std::vector<const UsbPrinterNode*> present = ModelNodes(nodes, modelSerial, kEnumDefault);
  const auto found = std::find_if(present.begin(), present.end(),
                                  [&](const auto* node) { return IdentityOf(*node) == identity; });
  if (found == present.end()) {
    refusal_ = {};
    CloseIOChannel();
    return kOpenNoDevice;
  }
  // The open selects from the same listing, so the printer opened is the one found here,
  // however the list has changed since.
  const auto instance = static_cast<uint32_t>(found - present.begin()) + 1;
  return OpenFrom(nodes, modelSerial, instance, kEnumDefault, kPipeRead | kPipeWrite);
}

}  // namespace kiln::usb
