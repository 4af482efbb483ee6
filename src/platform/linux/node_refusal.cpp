#include "platform/linux/node_refusal.h"

#include <errno.h>
#include <unistd.h>

#include "platform/linux/open_files.h"

namespace kiln::platform {

namespace {

// The first process other than this one that holds the node open, as "name, process N";
// empty when none is found (best effort: other users' processes are not readable).
std::string ProcessHolding(const std::string& node) {
  const pid_t self = ::getpid();
  for (const pid_t pid : ProcessesWithOpen(node)) {
    if (pid == self) continue;
    const std::string name = ProcessName(pid);
    return (name.empty() ? "?" : name) + ", process " + std::to_string(pid);
  }
  return {};
}

}  // namespace

OpenRefusal InUseRefusal(const std::string& node) {
  const std::string holder = ProcessHolding(node);
  return {OpenRefusal::Kind::kInUse,
          "in use by another program" + (holder.empty() ? "" : " (" + holder + ")")};
}

OpenRefusal NoAccessRefusal(const std::string& node) {
  return {OpenRefusal::Kind::kNoAccess,
          "permission denied on " + node +
              ": the udev rule Kiln installs (70-kiln-printers.rules) gives the printers' "
              "nodes to the user logged in at the seat and to the lp group; install the rule, "
              "or join the lp group and log in again"};
}

OpenRefusal NodeRefusal(int errnoValue, const std::string& node) {
  switch (errnoValue) {
    case EBUSY:
      return InUseRefusal(node);
    case EACCES:
    case EPERM:
      return NoAccessRefusal(node);
    default:
      return {};
  }
}

}  // namespace kiln::platform
