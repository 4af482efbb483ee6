#include "app/colour_mode.h"

#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "models/model_table.h"
#include "platform/profile.h"

namespace kiln::app {

namespace {

constexpr std::streamoff kVersionLength = 7;
constexpr std::streamoff kShortestTableFile = 9;

// Table `number` (counting from 1) of model entry `entry`; an empty one when there is none.
config::TableFileRow TableNumber(const config::ConfigFolder& folder, int entry, int number) {
  std::vector<config::TableFileRow> tables = config::ReadTableFiles(folder, entry);
  if (number < 1 || number > static_cast<int>(tables.size())) return {};
  return std::move(tables[number - 1]);
}

}  // namespace

FixedText<24> ReadColourTableVersion(const char* path, uint32_t targetModel) {
  FixedText<24> version;
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return version;
  const std::streamoff size = file.tellg();
  if (size < kShortestTableFile) return version;
  const std::streamoff fromEnd = models::QuirksOf(targetModel).tableVersionFromEnd;
  char bytes[kVersionLength] = {};
  file.seekg(size - fromEnd);
  if (!file.read(bytes, kVersionLength)) return version;
  // Read as text: the version ends at the first zero byte.
  std::string_view text(bytes, kVersionLength);
  version = text.substr(0, text.find('\0'));
  return version;
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

i18n::LanguageText ColourTableRowText(const ColourTable& table, i18n::LanguageFile& language) {
  i18n::LanguageText row;
  if (!table.modeName.empty()) row = language.Translate(table.modeName.view());
  row.Append("  (");
  row.Append(table.version.view());
  row.Append(")");
  return row;
}

i18n::LanguageText ColourModeDescription(const config::ConfigFolder& folder, int entry, int number,
                                         i18n::LanguageFile& language) {
  const std::string description = TableNumber(folder, entry, number).modeDescription;
  if (description.empty()) return {};
  return i18n::LanguageText(language.Translate(description));
}

bool ChooseColourTable(const config::ConfigFolder& folder, int entry, int number,
                       std::string& chosen) {
  if (number == 0) return false;
  (void)platform::SetFileAttributesNormal(folder.iniPath.c_str());
  chosen = folder.PathOf(TableNumber(folder, entry, number).file);
  return true;
}

}  // namespace kiln::app
