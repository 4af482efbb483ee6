#pragma once

#include <string_view>

#include "app/app_session.h"
#include "config/package_files.h"

namespace kiln::app {

// How far the command-line modes got with Kiln.ini and the package.
enum class ConfigurationState {
  kReady,       // entry 1 read, package header decoded: targetModel and packageVersion set
  kNoIniFile,   // no Kiln.ini in the program folder
  kNoPackage,   // the package file entry 1 names does not exist
  kBadPackage,  // a package cannot be read, is too large, holds no header or no version
};

// What both command-line modes read first: Kiln.ini in the program folder (no window to
// re-text), model entry 1 and the package header. A target model of 19 or higher also
// switches the session's printer tasks to the large models' packets, before the first
// query. The package's files are read once, into files when given (the silent update
// sends exactly what was checked here).
ConfigurationState ReadModeConfiguration(AppSession& session, std::string_view programFolder,
                                         config::PackageFiles* files = nullptr);

// A short text for the progress lines.
const char* DescribeConfigurationState(ConfigurationState state);

}  // namespace kiln::app
