#include "app/colour_mode.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/profile.h"
#include "tools/table_file.h"

namespace kiln::app {

namespace {

constexpr std::uintmax_t kShortestTableFile = 9;

// Table `number` (counting from 1) of model entry `entry`; an empty one when there is none.
config::TableFileRow TableNumber(const config::ConfigFolder& folder, int entry, int number) {
  std::vector<config::TableFileRow> tables = config::ReadTableFiles(folder, entry);
  if (number < 1 || number > static_cast<int>(tables.size())) return {};
  return std::move(tables[number - 1]);
}

}  // namespace

VersionText ReadColourTableVersion(const char* path, uint32_t targetModel) {
  // A file too short for the longest distance from the end holds no version here.
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error || size < kShortestTableFile) return {};
  return VersionText(tools::ReadTableVersion(path, targetModel));
}

std::vector<ColourTable> ReadColourTables(const config::ConfigFolder& folder, int entry,
                                          uint32_t targetModel) {
  std::vector<ColourTable> tables;
  for (const config::TableFileRow& row : config::ReadTableFiles(folder, entry)) {
    ColourTable& table = tables.emplace_back();
    table.fileName = row.file;
    table.modeName = row.modeName;
    table.version = ReadColourTableVersion(folder.PathOf(row.file).c_str(), targetModel);
  }
  return tables;
}

i18n::LanguageText ColourTableRowText(const ColourTable& table,
                                      const i18n::LanguageFile& language) {
  i18n::LanguageText row;
  if (!table.modeName.empty()) row = language.Translate(table.modeName.view());
  row.Append("  (");
  row.Append(table.version.view());
  row.Append(")");
  return row;
}

i18n::LanguageText ColourModeDescription(const config::ConfigFolder& folder, int entry, int number,
                                         const i18n::LanguageFile& language) {
  const std::string description = TableNumber(folder, entry, number).modeDescription;
  if (description.empty()) return {};
  return language.Translate(description);
}

bool ChooseColourTable(const config::ConfigFolder& folder, int entry, int number,
                       std::string& chosen) {
  if (number == 0) return false;
  (void)platform::SetFileAttributesNormal(folder.iniPath.c_str());
  chosen = folder.PathOf(TableNumber(folder, entry, number).file);
  return true;
}

}  // namespace kiln::app
