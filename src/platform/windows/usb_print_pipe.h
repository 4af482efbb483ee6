#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/pipe_file.h"

namespace kiln::platform {

// How a transfer on a printer's device interface ends, from the Win32 error it ended with
// (0: it finished) and the bytes it moved: ERROR_DEVICE_NOT_CONNECTED, ERROR_GEN_FAILURE,
// ERROR_FILE_NOT_FOUND and a pipe whose other end went
// (ERROR_BROKEN_PIPE, ERROR_PIPE_NOT_CONNECTED) mean the printer is gone; WAIT_TIMEOUT and
// ERROR_SEM_TIMEOUT time out; ERROR_CRC is a data error; ERROR_INVALID_FUNCTION and
// ERROR_NOT_SUPPORTED a transfer the interface refuses; any other error fails with
// itself. Every Win32 error of the pipe is translated here and nowhere else.
PipeResult PipeResultFromWin32Error(DWORD error, uint32_t bytes);

}  // namespace kiln::platform
