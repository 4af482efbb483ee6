#pragma once

#include <cstdint>
#include <memory>

#include "platform/pipe_file.h"

namespace kiln::platform {

// The Windows error that an errno value of the lp node stands for: EAGAIN is
// "pending", ENODEV and EIO are "device lost", EPROTO and EILSEQ the CRC error.
// Every failure of the node is mapped here and nowhere else.
uint32_t WinErrorFromErrno(int errnoValue);

// Opens printer nodes (/dev/usb/lpN, or a PTY standing in for one) read-write and
// non-blocking. Pipes opened on the same path share one open file, because usblp
// admits a single open at a time; the file is closed with the last of them.
PipeOpener& SystemPipeOpener();

}  // namespace kiln::platform
