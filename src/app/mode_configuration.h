#pragma once

#include <string>
#include <string_view>

#include "app/app_session.h"
#include "config/model_entry.h"
#include "config/package.h"
#include "platform/file_probe.h"

namespace kiln::app {

// How far the command-line modes got with Kiln.ini and the package.
enum class ConfigurationState {
  kReady,       // entry 1 read, package header decoded: the target model and version known
  kNoIniFile,   // no Kiln.ini in the program folder
  kNoPackage,   // the package file entry 1 names does not exist
  kBadPackage,  // a package cannot be read, is too large, holds no header or no version
};

// What both command-line modes read first, and how far they got.
struct ModeConfiguration {
  ConfigurationState state = ConfigurationState::kNoIniFile;
  // Why Kiln.ini (kNoIniFile) or the package (kNoPackage) could not be opened.
  platform::FileAccess access = platform::FileAccess::kMissing;
  config::ModelEntry entry;
  // The package with every file an update of it sends, each read once here: the silent
  // update sends exactly what was checked.
  config::Package package;
};

// Kiln.ini in the program folder (no window to re-text), model entry 1 and the package.
ModeConfiguration ReadModeConfiguration(AppSession& session, std::string_view programFolder);

// A short text for the progress lines; a file that exists but cannot be opened says why.
std::string DescribeConfiguration(const ModeConfiguration& read);

}  // namespace kiln::app
