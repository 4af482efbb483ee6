#pragma once

namespace kiln::platform {

// True when path names a regular file that can be opened for reading. A folder (for
// example the path left by an empty file-name value) is not a file.
bool FileExists(const char* path);

// True when the file at path is protected from writing: its owner may not write it (Linux)
// or its read-only attribute is set (Windows); also when it cannot be looked at. Kiln.ini
// is then left as it is.
bool IsReadOnlyFile(const char* path);

}  // namespace kiln::platform
