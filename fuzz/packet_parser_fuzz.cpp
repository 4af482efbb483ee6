// The virtual printer's packet parser and its command handling on fuzzed host writes,
// cut into fuzzed pieces, in the padded and the unpadded send mode.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/packet_parser.h"
#include "sim/virtual_printer.h"
#include "support/fuzz_channel.h"
#include "support/fuzz_input.h"

namespace {

using kiln::fuzz::FuzzInput;
namespace sim = kiln::sim;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "packet parser fuzz: %s\n", what);
  std::abort();
}

// Counts what the parser reports and checks each packet against its length field.
class CheckingSink final : public sim::PacketParser::Sink {
 public:
  void OnPacket(sim::ReceivedPacket&& packet) override {
    const std::size_t body = packet.lengthField >= 3
                                 ? 3 + packet.parameters.size() + packet.payload.size()
                                 : packet.lengthField;
    if (body != packet.lengthField) Fail("packet body and length field disagree");
    if (packet.parameters.size() > 3) Fail("more than three parameter bytes");
    if (packet.writes == 0) Fail("a packet that came in no write");
    accounted += 3 + packet.lengthField;
  }
  void OnPadding(uint32_t /*bytes*/, bool /*ok*/) override {}
  void OnStrayBytes(uint32_t count) override { accounted += count; }

  std::size_t accounted = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint8_t setup = in.Byte();
  const bool padded = (setup & 1) != 0;

  kiln::fuzz::InstantClock clock;
  sim::VirtualPrinterConfig config;
  config.model = padded ? 7 : 25;
  config.restartGapMs = 10;
  sim::VirtualPrinter printer(config, clock);
  sim::PacketParser parser(padded);
  CheckingSink sink;

  std::size_t fed = 0;
  uint8_t answer[512];
  while (!in.Empty()) {
    // Each piece: its length, then its bytes, as one host write.
    const std::string piece(in.Bytes(in.Byte()));
    const auto* bytes = reinterpret_cast<const uint8_t*>(piece.data());
    parser.Feed(bytes, piece.size(), sink);
    printer.Receive(bytes, piece.size());
    fed += piece.size();
    if ((setup & 2) != 0) clock.Sleep(1000);
    (void)printer.TakeAnswer(answer, sizeof answer);
  }
  if (sink.accounted > fed) Fail("more bytes accounted for than were fed");
  (void)printer.Transcript();
  return 0;
}
