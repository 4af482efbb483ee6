#include "app/colour_mode.h"

#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/config_file.h"
#include "platform/profile.h"

namespace kiln::app {

namespace {

constexpr uint32_t kModelWithLongTrailer = 22;
constexpr std::streamoff kVersionLength = 7;
constexpr std::streamoff kShortestTableFile = 9;

// Table `number` (counting from 1) of model entry `entry`; an empty one when there is none.
config::TableFileRow TableNumber(const UpdateContext& context, int entry, int number) {
  std::vector<config::TableFileRow> tables =
      config::ReadTableFiles(config::ConfigFolderOf(context), entry);
  if (number < 1 || number > static_cast<int>(tables.size())) return {};
  return std::move(tables[number - 1]);
}

}  // namespace

VersionText ReadColourTableVersion(const char* path, uint32_t targetModel) {
  VersionText version;
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return version;
  const std::streamoff size = file.tellg();
  if (size < kShortestTableFile) return version;
  const std::streamoff fromEnd = targetModel == kModelWithLongTrailer ? 9 : 8;
  char bytes[kVersionLength] = {};
  file.seekg(size - fromEnd);
  if (!file.read(bytes, kVersionLength)) return version;
  // Read as text: the version ends at the first zero byte.
  std::string_view text(bytes, kVersionLength);
  version = text.substr(0, text.find('\0'));
  return version;
}

std::vector<ColourTable> ReadColourTables(const UpdateContext& context, int entry,
                                          uint32_t targetModel) {
  const config::ConfigFolder folder = config::ConfigFolderOf(context);
  std::vector<ColourTable> tables;
  for (const config::TableFileRow& row : config::ReadTableFiles(folder, entry)) {
    ColourTable& table = tables.emplace_back();
    table.fileName = row.file;
    table.modeName = row.modeName;
    table.version = ReadColourTableVersion(folder.PathOf(row.file).c_str(), targetModel);
  }
  return tables;
}

i18n::LanguageText ColourTableRowText(const ColourTable& table, i18n::LanguageFile& language) {
  i18n::LanguageText row;
  if (!table.modeName.empty()) row = language.Translate(table.modeName.view());
  row.Append("  (");
  row.Append(table.version.view());
  row.Append(")");
  return row;
}

i18n::LanguageText ColourModeDescription(const UpdateContext& context, int entry, int number,
                                         i18n::LanguageFile& language) {
  const std::string description = TableNumber(context, entry, number).modeDescription;
  if (description.empty()) return {};
  return i18n::LanguageText(language.Translate(description));
}

bool ChooseColourTable(UpdateContext& context, int entry, int number) {
  if (number == 0) return false;
  (void)platform::SetFileAttributesNormal(context.iniPath.c_str());
  context.colourTablePath =
      config::ConfigFolderOf(context).PathOf(TableNumber(context, entry, number).file);
  return true;
}

}  // namespace kiln::app
