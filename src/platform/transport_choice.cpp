// The choice --transport makes for the whole process, read by every system's discovery.

#include "platform/transport_choice.h"

#include <atomic>

namespace kiln::platform {

namespace {

std::atomic<TransportChoice> processChoice{TransportChoice::kAny};

}  // namespace

void SetTransportChoice(TransportChoice choice) {
  processChoice = choice;
}

TransportChoice ProcessTransportChoice() {
  return processChoice;
}

std::optional<TransportChoice> ParseTransportChoice(std::string_view text) {
  if (text == "usblp") return TransportChoice::kUsblp;
  if (text == "libusb") return TransportChoice::kLibusb;
  return std::nullopt;
}

}  // namespace kiln::platform
