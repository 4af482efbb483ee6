#pragma once

#include <cstdio>

namespace kiln::platform {

// Opens the debug trace's file for appending, as fopen(path, "a") would, but never
// waiting: a FIFO without a reader is refused at once instead of blocking the open for
// good. A regular file, a terminal or a pipe someone reads takes the trace; writes then
// wait as they always did, so no line is dropped on a full pipe. nullptr when the path
// cannot take the trace.
std::FILE* OpenLogStream(const char* path);

}  // namespace kiln::platform
