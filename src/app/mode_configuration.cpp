#include "app/mode_configuration.h"

namespace kiln::app {

ModeConfiguration ReadModeConfiguration(AppSession& session, std::string_view programFolder) {
  ModeConfiguration read;
  if (!LocateConfig(session, programFolder)) return read;
  read.entry = config::ReadModelEntry(session.folder, 1);
  if (!read.entry.packageFound) {
    read.state = ConfigurationState::kNoPackage;
    return read;
  }
  read.package.files = config::LoadPackageFiles(read.entry, "");
  const config::PackageReading reading = config::ReadPackageInfo(read.entry, read.package.files);
  read.package.info() = reading.info;
  read.state = reading.valid ? ConfigurationState::kReady : ConfigurationState::kBadPackage;
  return read;
}

const char* DescribeConfigurationState(ConfigurationState state) {
  switch (state) {
    case ConfigurationState::kReady:
      return "ready";
    case ConfigurationState::kNoIniFile:
      return "no Kiln.ini in the program folder";
    case ConfigurationState::kNoPackage:
      return "the firmware package named in Kiln.ini does not exist";
    case ConfigurationState::kBadPackage:
      return "a firmware package cannot be read or changed while it was read, is empty or "
             "too large, or has no header or version";
  }
  return "?";
}

}  // namespace kiln::app
