#include "config/update_context_bridge.h"

namespace kiln::config {

ModelEntry EntryOf(const UpdateContext& context) {
  ModelEntry entry;
  entry.packageFound = true;
  entry.firmware = context.firmwarePath.c_str();
  entry.code = context.codePath.c_str();
  entry.table = context.tablePath.c_str();
  entry.altFirmware = context.altFirmwarePath.c_str();
  entry.altCode = context.altCodePath.c_str();
  entry.altTable = context.altTablePath.c_str();
  entry.modelName = context.modelName.c_str();
  entry.writeType = context.writeType;
  entry.cpuFirst = context.cpuFirst;
  entry.showCountdown = context.showCountdown;
  entry.noCheckPid = context.noCheckPid;
  entry.noCheckDriver = context.noCheckDriver;
  entry.noWaitBusyBeforeWrite = context.noWaitBusyBeforeWrite;
  entry.supportModel2 = context.supportModel2;
  entry.cpuFirmware = context.cpuFirmwarePath.c_str();
  entry.cpuTable = context.cpuTablePath.c_str();
  entry.cpuCode = context.cpuCodePath.c_str();
  entry.cpuDelay = context.cpuDelay;
  entry.firmwareDelay = context.firmwareDelay;
  entry.tableSwitch = context.tableSwitch;
  entry.noDowngrade = context.noDowngrade;
  entry.noWaitBurnOk = context.noWaitBurnOk;
  entry.noBusyCheckAtStartup = context.noBusyCheckAtStartup;
  return entry;
}

Package PackageOf(const UpdateContext& context, PackageFiles files) {
  Package package;
  package.version = context.packageVersion.c_str();
  package.programSeconds = context.extraDelay;
  package.vidPid = context.packageVidPid;
  package.targetModel = context.targetModel;
  package.targetVidPid = context.targetVidPid;
  package.driverName = context.driverName.c_str();
  package.packageModel = context.packageModel;
  package.packageDriverName = context.packageDriverName.c_str();
  package.cpuVersion = context.cpuPackageVersion.c_str();
  package.cpuProgramSeconds = context.cpuExtraDelay;
  package.files = std::move(files);
  return package;
}

void StorePackage(UpdateContext& context, const Package& package) {
  context.packageVersion = package.version;
  context.extraDelay = package.programSeconds;
  context.packageVidPid = package.vidPid;
  context.targetModel = package.targetModel;
  context.targetVidPid = package.targetVidPid;
  context.driverName = package.driverName;
  context.packageModel = package.packageModel;
  context.packageDriverName = package.packageDriverName;
  context.cpuPackageVersion = package.cpuVersion;
  context.cpuExtraDelay = package.cpuProgramSeconds;
}

bool ReadPackageInfo(UpdateContext& context, const PackageFiles& files) {
  Package package = PackageOf(context, files);
  const bool read = ReadPackageInfo(EntryOf(context), package);
  StorePackage(context, package);
  return read;
}

bool ReadPackageInfo(UpdateContext& context) {
  Package package = PackageOf(context);
  const bool read = ReadPackageHeaders(EntryOf(context), package);
  StorePackage(context, package);
  return read;
}

PackageFiles LoadPackageFiles(const UpdateContext& context) {
  return LoadPackageFiles(EntryOf(context), std::string(context.colourTablePath.view()));
}

}  // namespace kiln::config
