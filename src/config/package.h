#pragma once

#include <cstdint>
#include <string>

#include "config/model_entry.h"
#include "config/package_files.h"

namespace kiln::config {

// The firmware package of a model entry as one value: what its header says, the models it
// addresses, and the files an update sends, loaded once when the update starts.
struct Package {
  // The firmware package's header.
  std::string version;          // four characters at most
  uint16_t programSeconds = 0;  // the printer's programming time after this package
  uint32_t vidPid = 0;          // vendor << 16 | the product ID the header names
  // The model the update addresses: the package's own, or with NoCheckPid the entry's
  // Model.
  uint32_t targetModel = 0;
  uint32_t targetVidPid = 0;
  std::string driverName;
  // The model the package names.
  uint32_t packageModel = 0;
  std::string packageDriverName;
  // With Cpu1st: the CPU package's header.
  std::string cpuVersion;
  uint16_t cpuProgramSeconds = 0;

  PackageFiles files;
};

// Reads every file the entry names for an update, once: the firmware always, the large
// model's, alternative set's and CPU step's files where the entry names them, and
// colourTable when the table switch is on and one was chosen. A file named in two roles
// is read once and shared.
PackageFiles LoadPackageFiles(const ModelEntry& entry, const std::string& colourTable);

// Decodes the header of package.files.firmware into package and resolves the target and
// package models; with Cpu1st also the CPU package's version and programming time. What a
// failed step does not reach keeps its value; a lookup that finds no model row clears the
// fields it would have set (model 0, empty names), so that no earlier entry's model stays
// the target of this package. False when a package could not be loaded, holds no header
// or nothing beyond it, states no version (IsFirmwareVersion), or, unless NoCheckPid is
// on, when its product ID is no model's.
bool ReadPackageInfo(const ModelEntry& entry, Package& package);

// The same on the two files whose headers are decoded, read now and dropped afterwards:
// for what the window shows before an update, never for an update itself.
bool ReadPackageHeaders(const ModelEntry& entry, Package& package);

}  // namespace kiln::config
