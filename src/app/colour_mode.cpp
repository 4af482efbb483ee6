#include "app/colour_mode.h"

#include <fstream>
#include <string>
#include <string_view>

#include "config/config_file.h"
#include "platform/profile.h"
#include "tools/entry_edits.h"

namespace kiln::app {

namespace {

constexpr uint32_t kModelWithLongTrailer = 22;
constexpr std::streamoff kVersionLength = 7;
constexpr std::streamoff kShortestTableFile = 9;
constexpr uint32_t kTableValueSize = 512;

// The section model entry `entry` is read from: entry 1 may still live in the older
// "[FW_INFO]" section, as the configuration reader allows.
std::string EntrySection(const UpdateContext& context, int entry) {
  return tools::EntrySectionInUse(context.iniPath.c_str(), entry);
}

// The value of a numbered key ("TableFile3") of the section; empty when missing.
i18n::LanguageText NumberedValue(const UpdateContext& context, const std::string& section,
                                 const char* stem, int number, uint32_t size) {
  FixedText<64> key;
  key.Format("%s%d", stem, number);
  i18n::LanguageText value;
  platform::GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value.data(), size,
                                     context.iniPath.c_str());
  return value;
}

// A "TableFile" value split at its first comma into file name and mode name.
ColourTable SplitTableValue(std::string_view value) {
  ColourTable table;
  const std::size_t comma = value.find(',');
  table.fileName = value.substr(0, comma);
  if (comma != std::string_view::npos) table.modeName = value.substr(comma + 1);
  return table;
}

PathText BesideIni(const UpdateContext& context, std::string_view fileName) {
  PathText path = context.baseDir.view();
  path.Append(std::string_view(&config::kPathSeparator, 1));
  path.Append(fileName);
  return path;
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
  std::vector<ColourTable> tables;
  const std::string section = EntrySection(context, entry);
  for (int number = 1; number <= kMaxColourTables; ++number) {
    const i18n::LanguageText value =
        NumberedValue(context, section, "TableFile", number, kTableValueSize);
    if (value.empty()) break;
    ColourTable table = SplitTableValue(value.view());
    table.version = ReadColourTableVersion(BesideIni(context, table.fileName).c_str(), targetModel);
    tables.push_back(table);
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
  const i18n::LanguageText value =
      NumberedValue(context, EntrySection(context, entry), "ColorModeDesc", number,
                    uint32_t(i18n::LanguageText::capacity()));
  if (value.empty()) return value;
  return i18n::LanguageText(language.Translate(value.view()));
}

bool ChooseColourTable(UpdateContext& context, int entry, int number) {
  if (number == 0) return false;
  (void)platform::SetFileAttributesNormal(context.iniPath.c_str());
  const i18n::LanguageText value =
      NumberedValue(context, EntrySection(context, entry), "TableFile", number, kTableValueSize);
  context.colourTablePath = BesideIni(context, SplitTableValue(value.view()).fileName);
  return true;
}

}  // namespace kiln::app
