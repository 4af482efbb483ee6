#pragma once

#include "platform/pipe_file.h"

namespace kiln::platform {

// The system's pipes to the printers discovery lists: each printer over the transport
// discovery chose for it (on Linux usblp's node or libusb on its USB device, on Windows
// its device interface); a plain path opens as the system's printer node.
PipeOpener& SystemPrinterPipes();

// The system's printer nodes by path (Linux: /dev/usb/lpN, or a PTY standing in for one,
// read-write and non-blocking; Windows: a device interface's path). Pipes opened on the
// same path share one open file, because the printer admits a single open at a time; the
// file is closed with the last of them.
PipeOpener& SystemPipeOpener();

}  // namespace kiln::platform
