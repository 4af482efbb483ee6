#include "config/package_files.h"

#include <map>

#include "config/firmware_package.h"

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
  // The package loader checks the size before it reads and reads in its pieces.
  FirmwarePackage package;
  uint32_t size = 0;
  if (!LoadPackageFile(path.c_str(), &package, size) || size == 0) return loaded;
  loaded.bytes = std::make_shared<const std::vector<uint8_t>>(std::move(package.image));
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
