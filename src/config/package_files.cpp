#include "config/package_files.h"

#include "config/firmware_package.h"
#include "log/debug_log.h"

namespace kiln::config {

LoadedFile LoadFile(const std::string& path) {
  LoadedFile loaded;
  loaded.path = path;
  // The package loader checks the size before it reads and reads in its pieces.
  FirmwarePackage package;
  uint32_t size = 0;
  bool changed = false;
  const bool read = LoadPackageFile(path.c_str(), &package, size, &changed) && size != 0;
  // One line per read: an update reads each of its files once, when it starts.
  log::DebugLog trace;
  if (trace.OpenFromEnvironment()) {
    trace.LogPrint(1, "Package file %s: %s\n", path.c_str(),
                   read      ? "read"
                   : changed ? "changed while it was read"
                             : "cannot be read");
  }
  if (!read) return loaded;
  loaded.bytes = std::make_shared<const std::vector<uint8_t>>(std::move(package.image));
  return loaded;
}

}  // namespace kiln::config
