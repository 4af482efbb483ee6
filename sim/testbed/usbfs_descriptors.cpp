#include "sim/testbed/usbfs_descriptors.h"

#include "models/model_table.h"

namespace kiln::sim {

namespace {

constexpr uint8_t kDeviceDescriptor = 0x01;
constexpr uint8_t kConfigurationDescriptor = 0x02;
constexpr uint8_t kInterfaceDescriptor = 0x04;
constexpr uint8_t kEndpointDescriptor = 0x05;
constexpr uint8_t kVendorSpecificClass = 0xFF;
constexpr uint8_t kInterruptEndpoint = 0x03;
constexpr uint8_t kInterruptPacketSize = 64;
constexpr uint8_t kInterruptInterval = 10;
constexpr uint8_t kSendOnlyProtocol = 1;

void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutEndpoint(std::vector<uint8_t>& out, uint8_t address, const UsbfsShape& shape) {
  const bool bulk = shape.endpointType != kInterruptEndpoint;
  out.insert(out.end(), {7, kEndpointDescriptor, address, shape.endpointType});
  Put16(out, bulk ? kBulkPacketSize : kInterruptPacketSize);
  out.push_back(bulk ? 0 : kInterruptInterval);
}

}  // namespace

UsbfsShape ShapeOf(const PrinterFaults& faults, uint16_t productId) {
  UsbfsShape shape;
  shape.productId = productId;
  if (faults.noPrinterInterface) {
    shape.interfaceClass = kVendorSpecificClass;
    shape.interfaceSubClass = 0;
    shape.interfaceProtocol = 0;
  }
  if (faults.noBulkEndpoints) shape.endpointType = kInterruptEndpoint;
  if (faults.interfaceClaimed) shape.driver = "usbfs";
  if (faults.usblpBound) shape.driver = "usblp";
  shape.sendOnlySetting = faults.sendOnlySetting;
  return shape;
}

std::vector<uint8_t> UsbfsDescriptors(const UsbfsShape& shape) {
  std::vector<uint8_t> out;
  // Device: USB 2.00, class per interface, 64-byte endpoint 0, strings 1-3, one configuration.
  out.insert(out.end(), {18, kDeviceDescriptor, 0x00, 0x02, 0, 0, 0, 64});
  Put16(out, static_cast<uint16_t>(models::kVendorId));
  Put16(out, shape.productId);
  out.insert(out.end(), {0x00, 0x01, 1, 2, 3, 1});

  const std::size_t configuration = out.size();
  // Configuration 1: one interface, self-powered, 2 mA; total length patched below.
  out.insert(out.end(), {9, kConfigurationDescriptor, 0, 0, 1, 1, 0, 0xC0, 1});
  uint8_t setting = 0;
  const auto putSendOnly = [&] {
    out.insert(out.end(), {9, kInterfaceDescriptor, 0, setting++, 1, shape.interfaceClass,
                           shape.interfaceSubClass, kSendOnlyProtocol, 0});
    PutEndpoint(out, kBulkOutEndpoint, shape);
  };
  if (shape.sendOnlySetting == SendOnlySetting::kFirst) putSendOnly();
  out.insert(out.end(), {9, kInterfaceDescriptor, 0, setting++, 2, shape.interfaceClass,
                         shape.interfaceSubClass, shape.interfaceProtocol, 0});
  PutEndpoint(out, kBulkOutEndpoint, shape);
  PutEndpoint(out, kBulkInEndpoint, shape);
  if (shape.sendOnlySetting == SendOnlySetting::kSecond) putSendOnly();
  const std::size_t total = out.size() - configuration;
  out[configuration + 2] = static_cast<uint8_t>(total & 0xFF);
  out[configuration + 3] = static_cast<uint8_t>(total >> 8);
  return out;
}

}  // namespace kiln::sim
