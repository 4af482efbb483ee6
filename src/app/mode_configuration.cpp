#include "app/mode_configuration.h"

#include "config/config_file.h"
#include "config/firmware_package.h"
#include "config/update_context_bridge.h"
#include "models/model_table.h"

namespace kiln::app {

ConfigurationState ReadModeConfiguration(AppSession& session, std::string_view programFolder,
                                         config::PackageFiles* files) {
  UpdateContext& context = session.context;
  if (!LocateConfig(session, programFolder)) return ConfigurationState::kNoIniFile;
  if (!config::ReadConfigSection(context, 1)) return ConfigurationState::kNoPackage;
  config::PackageFiles loaded = config::LoadPackageFiles(context);
  const bool packageRead = config::ReadPackageInfo(context, loaded);
  if (files != nullptr) *files = std::move(loaded);
  if (!packageRead) return ConfigurationState::kBadPackage;
  context.printer.largeModel = models::IsLargeModel(context.targetModel);
  return ConfigurationState::kReady;
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
      return "a firmware package cannot be read, is empty or too large, or has no header or "
             "version";
  }
  return "?";
}

}  // namespace kiln::app
