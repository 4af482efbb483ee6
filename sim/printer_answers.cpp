#include "sim/printer_answers.h"

#include <algorithm>

#include "sim/packet_parser.h"

namespace kiln::sim::answers {

namespace {

constexpr std::size_t kFixedProductFields = 33;
constexpr std::size_t kStatusSummaryLength = 6;
constexpr std::size_t kStatusRecordLength = 29;
constexpr std::size_t kAlertDetailLength = 8;
constexpr uint8_t kHoldsBlockBit = 0x10;
constexpr std::size_t kTextLimit = 255;  // a length byte counts at most this many

void AppendText(std::vector<uint8_t>& out, std::string_view text) {
  const std::size_t n = std::min(text.size(), kTextLimit);
  out.push_back(static_cast<uint8_t>(n));
  out.insert(out.end(), text.begin(), text.begin() + static_cast<long>(n));
}

}  // namespace

bool IsCardPrinter(uint32_t model) {
  return model == 20 || model == 21 || model == 37 || model == 38;
}

std::vector<uint8_t> ProductInformation(std::string_view productName, std::string_view revision,
                                        std::string_view thirdText, uint16_t value) {
  std::vector<uint8_t> data(kFixedProductFields, 0);
  // The fixed fields carry the product ID in their first two bytes; the host ignores them.
  data[0] = static_cast<uint8_t>(value >> 8);
  data[1] = static_cast<uint8_t>(value & 0xFF);
  AppendText(data, productName);
  AppendText(data, revision);
  AppendText(data, thirdText);
  data.push_back(static_cast<uint8_t>(value >> 8));
  data.push_back(static_cast<uint8_t>(value & 0xFF));
  return data;
}

std::vector<uint8_t> StatusSummary(const StatusBytes& status) {
  std::vector<uint8_t> data(kStatusSummaryLength, 0);
  std::copy(status.begin(), status.end(), data.begin());
  return data;
}

std::vector<uint8_t> StatusRecord(uint32_t model, const StatusBytes& status, bool holdsBlock) {
  std::vector<uint8_t> data(kStatusRecordLength, 0);
  data[0] = status[0];
  if (holdsBlock) data[IsCardPrinter(model) ? 3 : 19] |= kHoldsBlockBit;
  return data;
}

std::vector<uint8_t> AlertDetail(bool present, uint32_t code) {
  std::vector<uint8_t> data(kAlertDetailLength, 0);
  if (!present) return data;
  data[0] = 1;
  data[1] = static_cast<uint8_t>(code >> 16);
  data[2] = static_cast<uint8_t>(code >> 8);
  data[3] = static_cast<uint8_t>(code);
  return data;
}

std::vector<uint8_t> FrameAnswer(uint16_t command, uint8_t headerByte3,
                                 const std::vector<uint8_t>& data) {
  const auto length = static_cast<uint16_t>(3 + data.size());
  std::vector<uint8_t> packet(6 + data.size());
  packet[0] = kStartOfPacket;
  packet[1] = static_cast<uint8_t>(length >> 8);
  packet[2] = static_cast<uint8_t>(length & 0xFF);
  packet[3] = headerByte3;
  packet[4] = static_cast<uint8_t>(command >> 8);
  packet[5] = static_cast<uint8_t>(command & 0xFF);
  std::copy(data.begin(), data.end(), packet.begin() + 6);
  return packet;
}

}  // namespace kiln::sim::answers
