#include "config/package_files.h"

#include <map>

#include "platform/read_only_file.h"

namespace kiln::config {

namespace {

// Reads each path at most once for one update.
class FileCache {
 public:
  LoadedFile Load(const PathText& path) { return Load(std::string(path.view())); }
  LoadedFile Load(const std::string& path) {
    if (path.empty()) return {};
    const auto found = loaded_.find(path);
    if (found != loaded_.end()) return found->second;
    return loaded_[path] = LoadFile(path);
  }

 private:
  std::map<std::string, LoadedFile> loaded_;
};

}  // namespace

LoadedFile LoadFile(const std::string& path) {
  LoadedFile loaded;
  loaded.path = path;
  platform::ReadOnlyFile file(path.c_str());
  if (!file.IsOpen() || file.size() == 0 || file.size() > kLargestPackageFile) return loaded;
  auto bytes = std::make_shared<std::vector<uint8_t>>(static_cast<std::size_t>(file.size()));
  if (!file.ReadFully(bytes->data(), static_cast<uint32_t>(bytes->size()))) return loaded;
  loaded.bytes = std::move(bytes);
  return loaded;
}

PackageFiles LoadPackageFiles(const UpdateContext& context) {
  FileCache cache;
  PackageFiles files;
  files.firmware = cache.Load(context.firmwarePath);
  files.code = cache.Load(context.codePath);
  files.table = cache.Load(context.tablePath);
  files.altFirmware = cache.Load(context.altFirmwarePath);
  files.altCode = cache.Load(context.altCodePath);
  files.altTable = cache.Load(context.altTablePath);
  if (context.cpuFirst) {
    files.cpuFirmware = cache.Load(context.cpuFirmwarePath);
    files.cpuCode = cache.Load(context.cpuCodePath);
    files.cpuTable = cache.Load(context.cpuTablePath);
  }
  if (context.tableSwitch) files.colourTable = cache.Load(context.colourTablePath);
  return files;
}

}  // namespace kiln::config
