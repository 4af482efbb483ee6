#pragma once

#include <cstdio>

namespace kiln::platform {

// Whether the stream is a terminal (progress then rewrites one line in place).
bool IsTerminal(std::FILE* stream);

// Writes to a closed pipe or socket (a caller that stopped reading standard output, an X
// server that went away) fail with an error instead of ending the process, so that an
// unattended update is never cut off half-way.
void IgnoreBrokenPipes();

}  // namespace kiln::platform
