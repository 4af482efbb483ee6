#pragma once

// Removing a key from Kiln.ini in one atomic replacement, so that a failure leaves the
// file as it was.
namespace kiln::tools {

enum class RemoveKeyResult { kRemoved, kNotFound, kCannotOpen, kCannotWrite };

// Removes every line of key (the whole name, without regard to case) from section of the
// file at path. A missing file has nothing to remove.
RemoveKeyResult RemoveIniKey(const char* section, const char* key, const char* path);

}  // namespace kiln::tools
