#pragma once

#include <cstdint>

namespace kiln::platform {

// A process's number as the system gives it (a PID), the same width on every system.
using ProcessId = std::int32_t;

// This process's number.
ProcessId CurrentProcessId();

}  // namespace kiln::platform
