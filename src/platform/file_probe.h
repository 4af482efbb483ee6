#pragma once

namespace kiln::platform {

// True when path names a regular file that can be opened for reading. A folder (for
// example the path left by an empty file-name value) is not a file.
bool FileExists(const char* path);

}  // namespace kiln::platform
