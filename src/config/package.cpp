#include "config/package.h"

#include <map>
#include <utility>

#include "config/firmware_package.h"
#include "models/model_table.h"

namespace kiln::config {

namespace {

// Reads each path at most once for one update.
class FileCache {
 public:
  LoadedFile Load(const std::string& path) {
    if (path.empty()) return {};
    const auto found = loaded_.find(path);
    if (found != loaded_.end()) return found->second;
    return loaded_[path] = LoadFile(path);
  }

 private:
  std::map<std::string, LoadedFile> loaded_;
};

std::string DriverOf(const models::PrinterModel* row) {
  return row != nullptr ? row->driverName : "";
}

}  // namespace

PackageFiles LoadPackageFiles(const ModelEntry& entry, const std::string& colourTable) {
  FileCache cache;
  PackageFiles files;
  files.firmware = cache.Load(entry.firmware);
  files.code = cache.Load(entry.code);
  files.table = cache.Load(entry.table);
  files.altFirmware = cache.Load(entry.altFirmware);
  files.altCode = cache.Load(entry.altCode);
  files.altTable = cache.Load(entry.altTable);
  if (entry.cpuFirst) {
    files.cpuFirmware = cache.Load(entry.cpuFirmware);
    files.cpuCode = cache.Load(entry.cpuCode);
    files.cpuTable = cache.Load(entry.cpuTable);
  }
  if (entry.tableSwitch) files.colourTable = cache.Load(colourTable);
  return files;
}

PackageInfo PackageReading::Over(PackageInfo earlier) const {
  if (reached == Reached::kNothing) return earlier;
  PackageInfo laid = info;
  if (reached == Reached::kFirmwareHeader) {
    laid.cpuVersion = std::move(earlier.cpuVersion);
    laid.cpuProgramSeconds = earlier.cpuProgramSeconds;
  }
  return laid;
}

PackageReading ReadPackageInfo(const ModelEntry& entry, const PackageFiles& files) {
  PackageReading reading;
  PackageHeader header;
  if (!DecodeLoadedHeader(files.firmware, false, entry.writeType, header)) return reading;

  PackageInfo& package = reading.info;
  reading.reached = PackageReading::Reached::kFirmwareHeader;
  package.vidPid = models::MakeVidPid(header.productId);
  package.programSeconds =
      entry.writeType == kCpuWriteType ? header.programTime1 : header.programTime2;
  package.version = header.version.view();

  const models::PrinterModel* packageRow = models::FindModelByVidPid(package.vidPid);
  if (entry.noCheckPid) {
    const models::PrinterModel* target = models::FindModelByShortName(entry.modelName);
    package.driverName = DriverOf(target);
    package.targetModel = target != nullptr ? target->serialNumber : 0;
    package.targetVidPid = target != nullptr ? target->vidPid : 0;
    package.packageDriverName = DriverOf(packageRow);
    package.packageModel = packageRow != nullptr ? packageRow->serialNumber : 0;
  } else {
    package.targetVidPid = package.vidPid;
    package.driverName = DriverOf(packageRow);
    package.targetModel = packageRow != nullptr ? packageRow->serialNumber : 0;
    package.packageDriverName = package.driverName;
    package.packageModel = package.targetModel;
    // A product ID of no model addresses no printer.
    if (packageRow == nullptr) return reading;
  }

  if (!entry.cpuFirst) {
    reading.valid = true;
    return reading;
  }
  PackageHeader cpuHeader;
  if (!DecodeLoadedHeader(files.cpuFirmware, true, entry.writeType, cpuHeader)) return reading;
  reading.reached = PackageReading::Reached::kCpuHeader;
  package.cpuVersion = cpuHeader.version.view();
  package.cpuProgramSeconds = cpuHeader.programTime1;
  reading.valid = true;
  return reading;
}

PackageReading ReadPackageHeaders(const ModelEntry& entry) {
  // Only the two files whose headers are decoded: the others are not needed to show it.
  PackageFiles files;
  files.firmware = LoadFile(entry.firmware);
  if (entry.cpuFirst) files.cpuFirmware = LoadFile(entry.cpuFirmware);
  return ReadPackageInfo(entry, files);
}

}  // namespace kiln::config
