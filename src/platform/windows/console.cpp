#include "platform/console.h"

#include <io.h>
#include <windows.h>

namespace kiln::platform {

bool IsTerminal(std::FILE* stream) {
  // A console has a console mode; a pipe, a file or Wine's redirected output has none.
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

void IgnoreBrokenPipes() {
  // Windows has no signal for a closed pipe: the write fails with an error already.
}

}  // namespace kiln::platform
