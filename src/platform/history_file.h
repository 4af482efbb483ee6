#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace kiln::platform {

// The user's folder for state that outlives a run: $XDG_STATE_HOME when it is an
// absolute path, otherwise $HOME/.local/state; empty when neither is known.
std::string UserStateFolder();

// Appends the lines to the file at path, creating it (mode 0600) and its missing folders
// (0700) first. Opened with O_APPEND, each line and its newline go out in one write, so
// lines of runs that append at the same time never interleave; when the file does not
// end in a newline (a line cut short), the first line starts with one, so that it is
// never joined to the damaged tail. fsync follows, so the lines are on disk when this
// returns true. False, with the reason, otherwise: also when the file or its folder is a
// symbolic link (not followed, nothing written or created through it) or the file is no
// regular file (a FIFO is refused at once, never waited for).
bool AppendLinesDurably(const std::string& path, const std::vector<std::string>& lines,
                        std::string& error);

// The last at most limit bytes of the regular file at path. cut: the file holds more
// before them. missing: there is no such file (then false without an error).
struct FileTail {
  std::string text;
  bool cut = false;
  bool missing = false;
  std::string error;
};
bool ReadFileTail(const std::string& path, uint64_t limit, FileTail& tail);

// The calendar time of a moment in UTC.
std::tm UtcTime(std::time_t moment);

}  // namespace kiln::platform
