#include "platform/linux/open_files.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kiln::platform {

std::vector<pid_t> ProcessesWithOpen(const std::string& path) {
  std::vector<pid_t> holders;
  DIR* proc = path.empty() ? nullptr : ::opendir("/proc");
  if (proc == nullptr) return holders;
  while (const dirent* entry = ::readdir(proc)) {
    // Processes only: "self" would list this process's files twice.
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid <= 0) continue;
    const std::string fdFolder = "/proc/" + std::string(entry->d_name) + "/fd";
    DIR* fds = ::opendir(fdFolder.c_str());
    if (fds == nullptr) continue;
    while (const dirent* fd = ::readdir(fds)) {
      char target[4096] = {};
      const std::string link = fdFolder + "/" + fd->d_name;
      const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
      if (n > 0 && path == target) holders.push_back(static_cast<pid_t>(pid));
    }
    ::closedir(fds);
  }
  ::closedir(proc);
  return holders;
}

std::string ProcessName(pid_t pid) {
  char name[64] = {};
  if (FILE* comm = std::fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "r")) {
    if (std::fgets(name, sizeof name, comm) == nullptr) name[0] = '\0';
    std::fclose(comm);
  }
  name[std::strcspn(name, "\n")] = '\0';
  return name;
}

}  // namespace kiln::platform
