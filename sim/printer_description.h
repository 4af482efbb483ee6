#pragma once

#include <string>
#include <string_view>

#include "sim/printer_config.h"

namespace kiln::sim {

// Reads a printer description as kiln-testbed's --printer option takes it:
//   MODEL[,version=V][,colour=TEXT][,serial=S][,block=on|bad|long|off][,gap=MS]
//        [,transport=usblp|usbfs][,fault=F]...
// MODEL is a short name of the model table (any letter case) or a serial number 1 to 38.
// Fields not given keep the values config already holds. Numbers are decimal or 0x-hex.
// False with error set when the text is not understood.
bool ParsePrinterDescription(std::string_view description, VirtualPrinterConfig& config,
                             std::string& error);

// The description of the fields and faults above, for --help.
extern const char* const kPrinterDescriptionHelp;

}  // namespace kiln::sim
