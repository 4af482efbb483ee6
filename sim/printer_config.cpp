#include "sim/printer_config.h"

#include "config/firmware_package.h"
#include "models/model_table.h"

namespace kiln::sim {

namespace {

// Status summary bit of each alert detail command: byte index and mask.
struct DetailBit {
  uint16_t command;
  uint8_t byte;
  uint8_t mask;
};

constexpr DetailBit kDetailBits[] = {
    {0x040A, 1, 0x01}, {0x0405, 1, 0x02}, {0x0403, 1, 0x08},
    {0x0407, 2, 0x02}, {0x0408, 2, 0x04}, {0x0406, 2, 0x08},
};

// Byte 0 bit that reports a pending error alongside the detail bits.
constexpr uint8_t kStatusErrorBit = 0x40;

}  // namespace

AlertReport AlertForDetail(uint16_t detailCommand, uint32_t code) {
  AlertReport alert;
  alert.code = code & 0xFFFFFF;
  alert.status[0] = kStatusErrorBit;
  for (const DetailBit& bit : kDetailBits) {
    if (bit.command == detailCommand) alert.status[bit.byte] |= bit.mask;
  }
  return alert;
}

bool DetailCommandAnnounced(const StatusBytes& status, uint16_t detailCommand) {
  for (const DetailBit& bit : kDetailBits) {
    if (bit.command == detailCommand) return (status[bit.byte] & bit.mask) != 0;
  }
  return false;
}

std::vector<uint8_t> MakeDeviceBlock(std::size_t length, bool validChecksum) {
  if (length < 2) length = 2;
  std::vector<uint8_t> block(length);
  for (std::size_t i = 0; i + 2 < length; ++i) block[i] = static_cast<uint8_t>(i * 7 + 3);
  block[length - 2] = config::kDeviceBlockMarker;
  uint8_t sum = 0;
  for (std::size_t i = 0; i + 1 < length; ++i) sum = static_cast<uint8_t>(sum + block[i]);
  block[length - 1] = static_cast<uint8_t>(0xFF - sum - config::kDeviceBlockMarker);
  if (!validChecksum) block[length - 1] = static_cast<uint8_t>(block[length - 1] + 1);
  return block;
}

uint16_t ProductIdOfModel(uint32_t model) {
  const models::PrinterModel* row = models::ModelBySerial(model);
  return row != nullptr ? models::ProductIdOf(row->vidPid) : 0;
}

}  // namespace kiln::sim
