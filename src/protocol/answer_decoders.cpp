#include "protocol/answer_decoders.h"

#include <cstring>
#include <string_view>

namespace kiln::protocol {

namespace {

// Bounds-checked reads from an answer.
class AnswerReader {
 public:
  AnswerReader(const uint8_t* data, std::size_t length) : data_(data), length_(length) {}
  uint8_t Byte(std::size_t at) const { return at < length_ ? data_[at] : 0; }
  uint16_t BigEndian16(std::size_t at) const {
    return static_cast<uint16_t>((Byte(at) << 8) | Byte(at + 1));
  }
  std::size_t length() const { return length_; }
  // A length-prefixed text at offset; advances offset past it.
  std::string_view Text(std::size_t& offset) const {
    const std::size_t size = Byte(offset);
    ++offset;
    const std::size_t start = offset < length_ ? offset : length_;
    const std::size_t available = length_ - start;
    offset += size;
    return std::string_view(reinterpret_cast<const char*>(data_) + start,
                            size < available ? size : available);
  }

 private:
  const uint8_t* data_;
  std::size_t length_;
};

// The record holds its 16-bit fields in the host's own byte order.
void Put16(uint8_t* record, std::size_t at, uint16_t value) {
  std::memcpy(record + at, &value, sizeof value);
}

}  // namespace

std::size_t DecodeStatusRecord(const uint8_t* answer, std::size_t length, bool cardPrinter,
                               uint8_t* record) {
  const AnswerReader in(answer, length);
  if (cardPrinter) {
    std::memset(record, 0, kCardStatusRecordSize);
    record[0] = in.Byte(0);
    Put16(record, 2, in.BigEndian16(1));
    for (std::size_t i = 0; i < 10; ++i) record[4 + i] = in.Byte(3 + i);
    return kCardStatusRecordSize;
  }

  std::memset(record, 0, kStatusRecordSize);
  record[0] = in.Byte(0);
  for (std::size_t i = 0; i < 6; ++i) Put16(record, 4 + 2 * i, in.BigEndian16(1 + 2 * i));
  for (std::size_t i = 0; i < 8; ++i) record[16 + i] = in.Byte(13 + i);
  record[28] = in.Byte(21);
  record[30] = in.Byte(17);
  record[31] = in.Byte(17);
  if (in.length() >= 26) {
    Put16(record, 24, in.BigEndian16(22));
    Put16(record, 26, in.BigEndian16(24));
  }
  if (in.length() >= 27) record[29] = in.Byte(26);
  if (in.length() >= 28) record[30] = in.Byte(27);
  if (in.length() >= 29) record[31] = in.Byte(28);
  return kStatusRecordSize;
}

ProductInfo DecodeProductInfo(const uint8_t* answer, std::size_t length) {
  const AnswerReader in(answer, length);
  ProductInfo info;
  std::size_t offset = 33;
  info.productName = in.Text(offset);
  info.productRev = in.Text(offset);
  info.thirdText = in.Text(offset);
  info.value = in.BigEndian16(offset);
  return info;
}

}  // namespace kiln::protocol
