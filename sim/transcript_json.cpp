#include "sim/transcript_json.h"

#include <cstdio>

namespace kiln::sim {

std::string TranscriptJsonLines(std::size_t printerIndex,
                                const std::vector<PacketRecord>& transcript) {
  std::string out;
  char buffer[160];
  for (std::size_t i = 0; i < transcript.size(); ++i) {
    const PacketRecord& r = transcript[i];
    std::snprintf(buffer, sizeof buffer,
                  "{\"printer\":%zu,\"seq\":%zu,\"command\":\"0x%04X\",\"flags\":\"0x%02X\","
                  "\"parameters\":[",
                  printerIndex, i + 1, static_cast<unsigned>(r.command),
                  static_cast<unsigned>(r.flags));
    out += buffer;
    for (std::size_t p = 0; p < r.parameters.size(); ++p) {
      std::snprintf(buffer, sizeof buffer, "%s%u", p == 0 ? "" : ",",
                    static_cast<unsigned>(r.parameters[p]));
      out += buffer;
    }
    std::snprintf(buffer, sizeof buffer,
                  "],\"payloadLength\":%u,\"paddingBytes\":%u,\"paddingOk\":%s,\"writes\":%u,"
                  "\"answered\":%s}\n",
                  r.payloadLength, r.paddingBytes, r.paddingOk ? "true" : "false", r.writes,
                  r.answered ? "true" : "false");
    out += buffer;
  }
  return out;
}

}  // namespace kiln::sim
