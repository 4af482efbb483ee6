#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kiln::platform {

// A process told apart from a later one that reuses its PID: the PID, the time it
// started (clock ticks after boot, from /proc/<pid>/stat) and the boot it started in.
struct ProcessIdentity {
  pid_t pid = 0;
  unsigned long long startTime = 0;
  std::string bootId;

  bool operator==(const ProcessIdentity&) const = default;
};

// The identity of a running process; nullopt when there is none with that PID or it has
// ended and waits to be reaped.
std::optional<ProcessIdentity> IdentifyProcess(pid_t pid);

// Whether the process is still running: not ended, and its PID not taken by another.
bool StillRunning(const ProcessIdentity& process);

// A print queue that a Kiln process paused, as its journal entry records it.
struct RecordedHold {
  std::string entryPath;    // the entry's file
  std::string queue;        // the queue's name
  std::string printServer;  // the print server the queue belongs to
  ProcessIdentity holder;   // the process that paused it
};

// The journal of print queue holds: a queue Kiln pauses while it writes firmware stays
// paused when Kiln is killed or the machine loses power before the queue is resumed. So
// that the next start can resume it, the hold is recorded before the pause and the
// record removed once the queue is resumed.
//
// Contract:
// - One entry per paused queue: a small file "<pid>-<random>.hold" in the journal's
//   folder holding the queue name, the print server and the holder's identity. It is
//   written whole or not at all (written beside and renamed into place), so a reader
//   never sees half an entry. The random part keeps anyone from planting a link under
//   the name before it is written.
// - The folder, and the folder it is in, are used only when they can be trusted as lock
//   folders are (owned by this user or root, not writable by others unless sticky, not a
//   symbolic link); otherwise nothing is recorded and nothing is found. Entries are read
//   without following a symbolic link, only as regular files and only up to a few KiB.
// - Finding abandoned entries looks only at entries this user owns (root: every user's).
//   An entry of a running holder, of another print server, of another user, or anything
//   in the folder that is not a regular file is left as it is. An entry of this user that
//   does not read as one is removed: written whole, it can only be damaged.
// - Nothing here talks to the print server; resuming a found queue and then removing its
//   entry is the caller's job (ResumeQueuesLeftHeld in print_queue_hold.h).
class QueueHoldJournal {
 public:
  // The journal of every Kiln process on the machine: the "held-queues" folder in the
  // global lock folder (KILN_LOCK_DIR moves it).
  static QueueHoldJournal InLockFolder();

  explicit QueueHoldJournal(std::string folder) : folder_(std::move(folder)) {}

  // Records that this process is about to pause the queue of printServer; creates the
  // folder when missing. The entry's path; empty when nothing could be recorded (a folder
  // that cannot be trusted, a name with a line break, a failed write).
  std::string Record(std::string_view queue, std::string_view printServer) const;

  // Removes an entry once its queue is resumed; an empty path does nothing.
  static void Remove(const std::string& entryPath);

  // The recorded holds of printServer whose holder is no longer running, for the caller
  // to resume and then Remove. Removes this user's damaged entries on the way.
  std::vector<RecordedHold> FindAbandoned(std::string_view printServer) const;

  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
};

}  // namespace kiln::platform
