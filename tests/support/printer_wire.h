#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/virtual_printer.h"

// Builds command packets the way the host does and takes the virtual printer's answers
// apart, for tests that talk to a VirtualPrinter through its byte interface.
namespace kiln::testing {

using Bytes = std::vector<uint8_t>;

// A command packet: 0xA5, length, flags, code, parameters, payload (no padding).
inline Bytes CommandPacket(uint16_t command, const Bytes& parameters = {},
                           const Bytes& payload = {}, uint8_t flags = 0x50) {
  const auto length = static_cast<uint16_t>(3 + parameters.size() + payload.size());
  Bytes packet = {0xA5,  static_cast<uint8_t>(length >> 8),  static_cast<uint8_t>(length & 0xFF),
                  flags, static_cast<uint8_t>(command >> 8), static_cast<uint8_t>(command & 0xFF)};
  packet.insert(packet.end(), parameters.begin(), parameters.end());
  packet.insert(packet.end(), payload.begin(), payload.end());
  return packet;
}

// The packet with zero padding up to the next multiple of 64 bytes.
inline Bytes Padded(Bytes packet) {
  packet.resize((packet.size() + 63) / 64 * 64, 0);
  return packet;
}

struct Response {
  uint8_t first = 0;
  uint16_t lengthField = 0;
  uint8_t headerByte3 = 0;
  uint16_t command = 0;
  Bytes data;
};

inline void Send(sim::VirtualPrinter& printer, const Bytes& bytes) {
  printer.Receive(bytes.data(), bytes.size());
}

// Takes one response packet from the printer; nullopt when fewer than 6 bytes are queued.
// The data is whatever follows the header, up to the length field's count.
inline std::optional<Response> TakeResponse(sim::VirtualPrinter& printer) {
  uint8_t header[6];
  if (printer.PendingAnswerBytes() < 6 || printer.TakeAnswer(header, 6) != 6) return std::nullopt;
  Response response;
  response.first = header[0];
  response.lengthField = static_cast<uint16_t>((header[1] << 8) | header[2]);
  response.headerByte3 = header[3];
  response.command = static_cast<uint16_t>((header[4] << 8) | header[5]);
  const std::size_t wanted = response.lengthField >= 3 ? response.lengthField - 3u : 0u;
  response.data.resize(wanted);
  response.data.resize(printer.TakeAnswer(response.data.data(), wanted));
  return response;
}

// Sends a command (padded when padded is set) and takes its response.
inline std::optional<Response> Transact(sim::VirtualPrinter& printer, uint16_t command, bool padded,
                                        const Bytes& parameters = {}) {
  const Bytes packet = CommandPacket(command, parameters);
  Send(printer, padded ? Padded(packet) : packet);
  return TakeResponse(printer);
}

}  // namespace kiln::testing
