#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sim/virtual_printer.h"

namespace kiln::sim {

// One JSON object per line for every packet a printer received, in order:
//   {"printer":0,"seq":1,"command":"0x0400","flags":"0x50","parameters":[],
//    "payloadLength":0,"paddingBytes":58,"paddingOk":true,"writes":1,"answered":true}
// printer is the printer's index on the test bed, seq counts its packets from 1.
std::string TranscriptJsonLines(std::size_t printerIndex,
                                const std::vector<PacketRecord>& transcript);

}  // namespace kiln::sim
