#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kiln::platform {

// The folders that hold the lock files behind named mutexes. A folder is used only when
// it is owned by this user or root and nobody else may write into it, unless it has the
// sticky bit; the shared folder is created with the sticky bit.
struct LockFolders {
  std::string local;   // this user's: $XDG_RUNTIME_DIR/kiln-locks, else /tmp/kiln-locks-<uid>
  std::string global;  // every user's: /run/lock/kiln, else /tmp/kiln-locks
};

// Whether a folder may hold lock files: a real folder (not a symlink) owned by this user
// or root, that nobody else can write into unless its sticky bit keeps every user to
// their own files.
bool TrustedLockFolder(const std::string& folder);

// Creates the folder when missing; a shared folder gets the sticky, world-writable mode
// of /tmp so that every user can add files but nobody can remove another's. True when
// the folder, created now or prepared by someone else, can be trusted.
bool EnsureLockFolder(const std::string& folder, bool shared);

// The folders in use: KILN_LOCK_DIR (its "local" and "global" sub-folders) when set,
// else the defaults above.
LockFolders CurrentLockFolders();

// Who shares a named mutex: the processes of this user (its lock file in the local
// folder) or those of every user (the global folder).
enum class LockScope : uint8_t { kThisUser, kEveryUser };

// The lock file for a mutex name in the folder of its scope; characters that are not
// letters, digits, '.', '_' or '-' are written as %XX so that any name gives one flat
// file name.
std::string LockFilePath(std::string_view mutexName, LockScope scope, const LockFolders& folders);

// A named mutex shared by every process that opens the same name: an exclusive
// open-file-description lock on the name's lock file, released by the kernel when the
// process dies. Like a Windows mutex it is owned by a thread and re-entrant for that
// thread; other threads of the process wait as other processes do.
class NamedMutex {
 public:
  virtual ~NamedMutex() = default;
  // Waits without time limit until the calling thread owns the mutex; false when the
  // lock could not be taken (the thread then holds nothing).
  virtual bool Lock() = 0;
  // Gives back one Lock of the calling thread; false when it holds none.
  virtual bool Unlock() = 0;
};

// Creates (or opens) the mutex; nullptr when its folder cannot be trusted or its lock
// file cannot be opened (a symlink or anything but a regular file in its place). Destroying
// it gives back whatever its owner still holds.
std::unique_ptr<NamedMutex> OpenNamedMutex(std::string_view mutexName, LockScope scope);
std::unique_ptr<NamedMutex> OpenNamedMutex(std::string_view mutexName, LockScope scope,
                                           const LockFolders& folders);

}  // namespace kiln::platform
