#include "sim/testbed/umockdev_env.h"

#include <link.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kiln::sim {

namespace {

constexpr const char* kPreloadLibrary = "libumockdev-preload.so.0";
constexpr const char* kWrapper = "umockdev-wrapper";

// A sanitizer runtime has to come before umockdev's preload library.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizer = true;
#else
constexpr bool kSanitizer = false;
#endif

// The path of the loaded AddressSanitizer or ThreadSanitizer runtime, empty when none is
// loaded.
std::string SanitizerRuntime() {
  std::string found;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        const char* name = info->dlpi_name;
        if (name != nullptr && (std::strstr(name, "libasan.so") != nullptr ||
                                std::strstr(name, "libtsan.so") != nullptr)) {
          *static_cast<std::string*>(out) = name;
          return 1;
        }
        return 0;
      },
      &found);
  return found;
}

std::string OwnExecutable() {
  std::vector<char> path(4096);
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  return n > 0 ? std::string(path.data(), static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

bool InUmockdevEnvironment() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

std::string PreloadWithUmockdev(const std::string& current, const std::string& sanitizerRuntime) {
  std::string value;
  if (!sanitizerRuntime.empty()) value = sanitizerRuntime + ":";
  value += kPreloadLibrary;
  if (!current.empty()) value += ":" + current;
  return value;
}

void ReexecuteUnderUmockdev(char** argv, std::string& error) {
  const std::string self = OwnExecutable();
  if (self.empty()) {
    error = "cannot find the own executable";
    return;
  }
  std::vector<char*> args;
  if (!kSanitizer) args.push_back(const_cast<char*>(kWrapper));
  args.push_back(const_cast<char*>(self.c_str()));
  for (char** arg = argv + 1; *arg != nullptr; ++arg) args.push_back(*arg);
  args.push_back(nullptr);

  if (kSanitizer) {
    const char* current = std::getenv("LD_PRELOAD");
    const std::string preload =
        PreloadWithUmockdev(current != nullptr ? current : "", SanitizerRuntime());
    ::setenv("LD_PRELOAD", preload.c_str(), 1);
    ::execv(self.c_str(), args.data());
  } else {
    ::execvp(kWrapper, args.data());
  }
  error = std::string("cannot run ") + args[0] + ": " + std::strerror(errno);
}

}  // namespace kiln::sim
