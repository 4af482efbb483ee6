#pragma once

#include <cstdint>
#include <memory>

#include "platform/pipe_file.h"

namespace kiln::platform {

// How a transfer on the lp node ends, from the errno it ended with (0: it finished) and
// the bytes it moved: EAGAIN or ETIMEDOUT (nothing came before the time-out) time out,
// ENODEV and EIO mean the printer is gone, EPROTO and EILSEQ are data errors, EINVAL,
// ENOTTY and EBADF a transfer the node refuses; any other errno fails with itself. Every
// errno of the node is translated here and nowhere else.
PipeResult PipeResultFromErrno(int errnoValue, uint32_t bytes);

}  // namespace kiln::platform
