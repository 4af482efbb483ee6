#include "support/scratch_dir.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace kiln::fuzz {

namespace {

std::string MakeScratchDir() {
  std::string base = "/dev/shm";
  if (::access(base.c_str(), W_OK) != 0) {
    const char* tmp = ::getenv("TMPDIR");
    base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  }
  std::string path = base + "/kiln-fuzz-XXXXXX";
  if (::mkdtemp(path.data()) == nullptr) {
    std::perror("kiln fuzz: cannot make a scratch folder");
    std::abort();
  }
  return path;
}

void RemoveScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(ScratchDir(), ignored);
}

}  // namespace

const std::string& ScratchDir() {
  static const std::string path = [] {
    std::string made = MakeScratchDir();
    return made;
  }();
  static const bool cleanupRegistered = std::atexit(RemoveScratchDir) == 0;
  (void)cleanupRegistered;
  return path;
}

std::string WriteScratchFile(std::string_view name, std::string_view content) {
  std::string path = ScratchDir() + "/" + std::string(name);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::perror("kiln fuzz: cannot write a scratch file");
    std::abort();
  }
  if (!content.empty()) std::fwrite(content.data(), 1, content.size(), file);
  std::fclose(file);
  return path;
}

}  // namespace kiln::fuzz
