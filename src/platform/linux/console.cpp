#include "platform/console.h"

#include <signal.h>
#include <unistd.h>

namespace kiln::platform {

bool IsTerminal(std::FILE* stream) {
  return ::isatty(::fileno(stream)) == 1;
}

void IgnoreBrokenPipes() {
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace kiln::platform
