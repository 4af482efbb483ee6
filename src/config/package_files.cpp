#include "config/package_files.h"

#include "config/firmware_package.h"

namespace kiln::config {

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

}  // namespace kiln::config
