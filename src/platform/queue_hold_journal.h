#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_id.h"

namespace kiln::platform {

// A process told apart from a later one that reuses its PID: the PID, the time it
// started (clock ticks after boot, from /proc/<pid>/stat) and the boot it started in.
struct ProcessIdentity {
  ProcessId pid = 0;
  unsigned long long startTime = 0;
  std::string bootId;

  bool operator==(const ProcessIdentity&) const = default;
};

// The identity of a running process; nullopt when there is none with that PID or it has
// ended and waits to be reaped.
std::optional<ProcessIdentity> IdentifyProcess(ProcessId pid);

// Whether the process is still running: not ended, and its PID not taken by another.
bool StillRunning(const ProcessIdentity& process);

// A print queue that a Kiln process paused, as its journal entry records it.
struct RecordedHold {
  std::string entryPath;    // the entry's file
  std::string queue;        // the queue's name
  std::string printServer;  // the print server the queue belongs to
  std::string reason;       // the queue's state message while the holder's pause lasts
  ProcessIdentity holder;   // the process that paused it
};

// The journal of print queue holds: a queue Kiln pauses while it writes firmware stays
// paused when Kiln is killed or the machine loses power before the queue is resumed. So
// that the next start can resume it, the hold is recorded before the pause and the
// record removed once the queue is resumed.
//
// Contract:
// - One entry per paused queue: a small file "<pid>-<random>.hold" in the journal's
//   folder holding the queue name, the print server, the reason the queue is paused with
//   and the holder's identity. It is written whole or not at all (written beside,
//   flushed to disk and renamed into place, the folder flushed too), so a reader never
//   sees half an entry and a recorded hold outlasts a power loss. The random part keeps
//   anyone from planting a link under the name before it is written. Entries are
//   readable by all and writable by their owner only, whatever the umask.
// - The folder, and the folder it is in, are used only when they can be trusted as lock
//   folders are (owned by this user or root, not writable by others unless sticky, not a
//   symbolic link); otherwise nothing is recorded and nothing is found. The folder is
//   shared by every user (sticky, so no one removes another's entries). Entries are read
//   without following a symbolic link, without waiting on anything but a regular file,
//   only as regular files and only up to a few KiB.
// - An entry is trusted only when this user owns it (root: only root's) and no one else
//   may write it. Finding abandoned entries looks only at trusted ones: an entry of a
//   running holder, of another print server, one not trusted, or anything in the folder
//   that is not a regular file is left as it is. A trusted entry that does not read as
//   one is removed: written whole, it can only be damaged.
// - Nothing here talks to the print server; resuming a found queue and then removing its
//   entry is the caller's job (ResumeQueuesLeftHeld in print_queue_hold.h).
class QueueHoldJournal {
 public:
  // The journal of every Kiln process on the machine: the "held-queues" folder in the
  // global lock folder (KILN_LOCK_DIR moves it).
  static QueueHoldJournal InLockFolder();

  explicit QueueHoldJournal(std::string folder) : folder_(std::move(folder)) {}

  // Records that this process is about to pause the queue of printServer with the reason
  // as its state message; creates the folder when missing. The entry's path once it is
  // on disk; empty when nothing could be recorded (a folder that cannot be trusted, a
  // value with a line break, a failed write or flush).
  std::string Record(std::string_view queue, std::string_view printServer,
                     std::string_view reason) const;

  // Removes an entry once its hold is over; an empty path does nothing.
  static void Remove(const std::string& entryPath);

  // The recorded holds of printServer whose holder is no longer running, for the caller
  // to resume and then Remove. Removes this user's damaged entries on the way.
  std::vector<RecordedHold> FindAbandoned(std::string_view printServer) const;

  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
};

}  // namespace kiln::platform
