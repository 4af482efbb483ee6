#include "platform/process_id.h"

#include <windows.h>

namespace kiln::platform {

ProcessId CurrentProcessId() {
  return static_cast<ProcessId>(::GetCurrentProcessId());
}

}  // namespace kiln::platform
