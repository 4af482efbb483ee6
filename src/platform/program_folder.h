#pragma once

#include <string>

namespace kiln::platform {

// The folder of the path the program was started by, without a trailing separator and
// without resolving symbolic links: a link to the binary placed in a firmware folder
// makes that folder the program folder. A bare name is looked up on PATH; when nothing
// fits, the folder of the running executable.
std::string ProgramFolder(const char* argv0);

}  // namespace kiln::platform
