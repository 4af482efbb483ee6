#include "tools/entry_form.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "models/model_table.h"

namespace kiln::tools {

namespace {

// The folder as the system resolves it (links followed); empty when it does not exist.
std::filesystem::path ResolvedFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::path resolved = std::filesystem::canonical(folder, error);
  return error ? std::filesystem::path() : resolved;
}

}  // namespace

SaveOutcome OutcomeOf(platform::ProfileEdit edit) {
  switch (edit) {
    case platform::ProfileEdit::kWritten:
    case platform::ProfileEdit::kUnchanged:
      return SaveOutcome::kSaved;
    case platform::ProfileEdit::kCannotRead:
      return SaveOutcome::kCannotOpen;
    case platform::ProfileEdit::kReadOnly:
    case platform::ProfileEdit::kCannotReplace:
    case platform::ProfileEdit::kRefused:
      break;
  }
  return SaveOutcome::kCannotWrite;
}

Notice SaveNotice(SaveOutcome outcome, std::string_view iniPath) {
  if (outcome == SaveOutcome::kCannotOpen) return {"Open File Error!!", std::string(iniPath)};
  return {"Save Error", "The settings could not be saved to\n" + std::string(iniPath) +
                            "\n\nThe file may be read-only or the disk full. Nothing was changed."};
}

ChosenFile CheckChosenFile(const std::string& chosenPath, const std::string& programFolder,
                           bool tableFile) {
  const std::filesystem::path chosen = std::filesystem::absolute(Utf8Path(chosenPath));
  // A folder that cannot be resolved is no proof of being the program folder.
  const std::filesystem::path folder = ResolvedFolder(chosen.parent_path());
  if (folder.empty() || folder != ResolvedFolder(Utf8Path(programFolder))) {
    return ChosenFile::kOutsideFolder;
  }
  if (tableFile && ChosenFileName(chosenPath).find(',') != std::string::npos) {
    return ChosenFile::kCommaInName;
  }
  return ChosenFile::kAccepted;
}

Notice ChosenFileNotice(ChosenFile check, const std::string& chosenPath,
                        const std::string& programFolder) {
  const std::string name = ChosenFileName(chosenPath);
  if (check == ChosenFile::kCommaInName) {
    return {"Wrong File Name", name +
                                   " has a comma in its name.\n\nKiln.ini separates a table "
                                   "file's name from its description with a comma: rename the "
                                   "file first."};
  }
  return {"Wrong Folder", name + " is not in the program folder " +
                              Utf8Text(ResolvedFolder(Utf8Path(programFolder))) +
                              ".\n\nKiln.ini keeps the file name only and the program looks for "
                              "it in its own folder: copy the file there first."};
}

std::string ChosenFileName(const std::string& chosenPath) {
  return Utf8Text(Utf8Path(chosenPath).filename());
}

std::filesystem::path Utf8Path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Text(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

bool EntryForm::CodeLayout(uint32_t modelSerial) {
  return models::IsLargeModel(modelSerial);
}

EntryForm::EntryForm(config::ConfigFolder folder, int entryIndex)
    : folder_(std::move(folder)), entryIndex_(entryIndex) {
  (void)platform::SetFileAttributesNormal(folder_.iniPath.c_str());
  opened_ = config::ReadEntrySettings(folder_, entryIndex_);
}

SaveOutcome EntryForm::Write(const config::EntrySettings& settings) const {
  return OutcomeOf(config::WriteEntrySettings(folder_, settings));
}

}  // namespace kiln::tools
