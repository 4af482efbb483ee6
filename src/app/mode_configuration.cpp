#include "app/mode_configuration.h"

namespace kiln::app {

ModeConfiguration ReadModeConfiguration(AppSession& session, std::string_view programFolder) {
  ModeConfiguration read;
  if (!LocateConfig(session, programFolder)) {
    read.access = platform::ProbeFile(session.folder.iniPath.c_str());
    return read;
  }
  read.entry = config::ReadModelEntry(session.folder, 1);
  if (!read.entry.packageFound) {
    read.state = ConfigurationState::kNoPackage;
    read.access = platform::ProbeFile(read.entry.firmware.c_str());
    return read;
  }
  read.package.files = config::LoadPackageFiles(read.entry, "");
  const config::PackageReading reading = config::ReadPackageInfo(read.entry, read.package.files);
  read.package.info() = reading.info;
  read.state = reading.valid ? ConfigurationState::kReady : ConfigurationState::kBadPackage;
  return read;
}

std::string DescribeConfiguration(const ModeConfiguration& read) {
  const bool missing = read.access == platform::FileAccess::kMissing;
  switch (read.state) {
    case ConfigurationState::kReady:
      return "ready";
    case ConfigurationState::kNoIniFile:
      if (missing) return "no Kiln.ini in the program folder";
      return std::string("Kiln.ini in the program folder ") + platform::FileAccessText(read.access);
    case ConfigurationState::kNoPackage:
      if (missing) return "the firmware package named in Kiln.ini does not exist";
      return std::string("the firmware package named in Kiln.ini ") +
             platform::FileAccessText(read.access) + ": " + read.entry.firmware;
    case ConfigurationState::kBadPackage:
      return "a firmware package cannot be read or changed while it was read, is empty or "
             "too large, or has no header or version";
  }
  return "?";
}

}  // namespace kiln::app
