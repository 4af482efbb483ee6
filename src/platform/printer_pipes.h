#pragma once

#include "platform/pipe_file.h"

namespace kiln::platform {

// The system's pipes to the printers discovery lists: each printer over the transport
// discovery chose for it (on Linux usblp's node or libusb on its USB device, on Windows
// its device interface); a plain path opens as the system's printer node.
PipeOpener& SystemPrinterPipes();

}  // namespace kiln::platform
