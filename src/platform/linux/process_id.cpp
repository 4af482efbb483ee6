#include "platform/process_id.h"

#include <unistd.h>

namespace kiln::platform {

ProcessId CurrentProcessId() {
  return static_cast<ProcessId>(::getpid());
}

}  // namespace kiln::platform
