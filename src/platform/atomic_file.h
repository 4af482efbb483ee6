#pragma once

#include <string>
#include <string_view>

namespace kiln::platform {

enum class ReadResult { kOk, kMissing, kNotAFile, kError };

// Reads a whole regular file. A missing file, a folder or a read error is reported as
// such and leaves content empty.
ReadResult ReadWholeFile(const char* path, std::string& content);

// Replaces path with content: writes a temporary file in the same folder, flushes it to
// disk and renames it over the target (through a symbolic link, the link's target is
// replaced). The old file's permissions and, where allowed, its owner are kept. On any
// failure the temporary file is removed, the old file is untouched and false returned.
bool WriteFileAtomically(const char* path, std::string_view content);

}  // namespace kiln::platform
