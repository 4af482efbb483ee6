#pragma once

namespace kiln::platform {

// Whether a file can be opened for reading and, when it cannot, the system's reason.
enum class FileAccess { kReadable, kMissing, kNotAFile, kInUse, kDenied, kFailed };

// How path opens for reading. A folder (for example the path left by an empty file-name
// value) is not a file; a file another program holds without sharing it is in use.
FileAccess ProbeFile(const char* path);

// True when path names a regular file that can be opened for reading.
inline bool FileExists(const char* path) {
  return ProbeFile(path) == FileAccess::kReadable;
}

// The reason in words, to follow a file's name ("Kiln.ini is in use by another program").
inline const char* FileAccessText(FileAccess access) {
  switch (access) {
    case FileAccess::kReadable:
      return "can be read";
    case FileAccess::kMissing:
      return "does not exist";
    case FileAccess::kNotAFile:
      return "is not a file";
    case FileAccess::kInUse:
      return "is in use by another program";
    case FileAccess::kDenied:
      return "may not be read (access denied)";
    case FileAccess::kFailed:
      break;
  }
  return "cannot be opened";
}

// True when the file at path is protected from writing: its owner may not write it (Linux)
// or its read-only attribute is set (Windows); also when it cannot be looked at. Kiln.ini
// is then left as it is.
bool IsReadOnlyFile(const char* path);

}  // namespace kiln::platform
