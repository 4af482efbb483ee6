#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kiln::platform {

// The processes that have path open, one entry per open file (a process with the path
// open twice is listed twice, this one included), found through /proc/*/fd. Best effort:
// processes whose files this user may not look at, or that end meanwhile, are not seen.
std::vector<pid_t> ProcessesWithOpen(const std::string& path);

// The short name a process runs under (its comm); empty when it cannot be read.
std::string ProcessName(pid_t pid);

}  // namespace kiln::platform
