#pragma once

#include <cstdint>
#include <string>

#include "config/model_entry.h"
#include "config/package_files.h"

namespace kiln::config {

// What a firmware package's headers say and the models it addresses, as one value.
struct PackageInfo {
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
};

// The firmware package of a model entry: its headers, and the files an update sends,
// loaded once when the update starts.
struct Package : PackageInfo {
  PackageFiles files;

  PackageInfo& info() { return *this; }
  const PackageInfo& info() const { return *this; }
};

// One read of a package's headers. The read stops at the first step that fails: the
// firmware header (version, programming time, models), then with Cpu1st the CPU
// package's. info holds what the steps reached; Over() lays that over the values a caller
// had before, leaving those of a step not reached as they were.
struct PackageReading {
  enum class Reached { kNothing, kFirmwareHeader, kCpuHeader };
  PackageInfo info;
  Reached reached = Reached::kNothing;
  // Every step passed: the package can be updated with.
  bool valid = false;

  PackageInfo Over(PackageInfo earlier) const;
};

// Reads every file the entry names for an update, once: the firmware always, the large
// model's, alternative set's and CPU step's files where the entry names them, and
// colourTable when the table switch is on and one was chosen. A file named in two roles
// is read once and shared.
PackageFiles LoadPackageFiles(const ModelEntry& entry, const std::string& colourTable);

// Decodes the header of files.firmware and resolves the target and package models; with
// Cpu1st also the CPU package's version and programming time from files.cpuFirmware. A
// lookup that finds no model row leaves the fields it would have set cleared (model 0,
// empty names), so that laid over an earlier package no earlier entry's model stays the
// target. Not valid when a package could not be loaded, holds no header or nothing beyond
// it, states no version (IsFirmwareVersion), or, unless NoCheckPid is on, when its product
// ID is no model's.
PackageReading ReadPackageInfo(const ModelEntry& entry, const PackageFiles& files);

// The same on the two files whose headers are decoded, read now and dropped before it
// returns: for what the window shows before an update, never for an update itself.
PackageReading ReadPackageHeaders(const ModelEntry& entry);

}  // namespace kiln::config
