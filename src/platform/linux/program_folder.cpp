#include "platform/program_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace kiln::platform {

namespace {

std::string WithoutTrailingSeparator(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string ExecutableFolder() {
  std::error_code error;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return WithoutTrailingSeparator(exe.parent_path().string());
}

}  // namespace

std::string ProgramFolder(const char* argv0) {
  std::string_view path = argv0 ? argv0 : "";
  if (path.empty()) return ExecutableFolder();
  std::error_code error;
  if (path.find('/') != std::string_view::npos) {
    auto absolute = std::filesystem::absolute(std::filesystem::path(path), error);
    if (error) return ExecutableFolder();
    return WithoutTrailingSeparator(absolute.lexically_normal().parent_path().string());
  }
  const char* searchPath = std::getenv("PATH");
  std::string_view folders = searchPath ? searchPath : "";
  while (!folders.empty()) {
    auto colon = folders.find(':');
    std::string folder(folders.substr(0, colon));
    folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
    if (folder.empty()) folder = ".";
    std::string candidate = folder + "/" + std::string(path);
    if (::access(candidate.c_str(), X_OK) == 0) {
      auto absolute = std::filesystem::absolute(std::filesystem::path(folder), error);
      if (!error) return WithoutTrailingSeparator(absolute.lexically_normal().string());
    }
  }
  return ExecutableFolder();
}

}  // namespace kiln::platform
