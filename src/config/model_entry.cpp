#include "config/model_entry.h"

#include <algorithm>
#include <utility>

#include "log/debug_log.h"
#include "models/model_table.h"
#include "platform/file_probe.h"
#include "platform/ini_document.h"
#include "platform/path_join.h"

namespace kiln::config {

namespace {

// The keys of a model entry.
constexpr const char* kFile = "File";
constexpr const char* kCodeName = "CodeName";
constexpr const char* kTableName = "TableName";
constexpr const char* kFwName = "FwName";
constexpr const char* kAltCodeName = "OeeCodeName";
constexpr const char* kAltTableName = "OeeTableName";
constexpr const char* kAltFwName = "OeeFwName";
constexpr const char* kModel = "Model";
constexpr const char* kWriteType = "WriteType";
constexpr const char* kCpuFirst = "Cpu1st";
constexpr const char* kShowCountdown = "ActInfo";
constexpr const char* kNoCheckPid = "NoCheckPid";
constexpr const char* kNoCheckDriver = "NoCheckDriver";
constexpr const char* kNoWaitBusyBeforeWrite = "NoWaitBusyBeforeWriteFW";
constexpr const char* kSupportModel2 = "SupportModel2";
constexpr const char* kCpuFile = "CpuFile";
constexpr const char* kCpuTable = "CpuTable";
constexpr const char* kCpuCode = "CpuFwCode";
constexpr const char* kCpuDelay = "Delay1";
constexpr const char* kFirmwareDelay = "Delay2";
constexpr const char* kTableSwitch = "EnableTableSwitch";
constexpr const char* kNoDowngrade = "DisableOverwriteNewer";
constexpr const char* kNoWaitBurnOk = "NotWaitBurnOK";
constexpr const char* kNoBusyCheckAtStartup = "NotCheckBusyAtStartup";
constexpr const char* kTableFile = "TableFile";
constexpr const char* kModeDescription = "ColorModeDesc";

constexpr const char* kOlderSection = "FW_INFO";
// What the update uses when Delay1 and Delay2 are absent.
constexpr uint16_t kDefaultCpuDelay = 20;
constexpr uint16_t kDefaultFirmwareDelay = 25;
// An absent Model reads as the first model in the dialogs.
constexpr const char* kDefaultModel = "M01";

constexpr uint32_t kValueBuffer = 512;         // a value holds 511 characters
constexpr uint32_t kDescriptionBuffer = 1024;  // a language key holds 1023

std::string NumberedSectionName(int index) {
  return kOlderSection + std::to_string(index);
}

std::string NumberedKey(const char* stem, int number) {
  return stem + std::to_string(number);
}

bool SectionHasKeyLines(const std::string& section, const std::string& iniPath) {
  char buffer[kValueBuffer];
  return platform::GetPrivateProfileSectionA(section.c_str(), buffer, sizeof buffer,
                                             iniPath.c_str()) > 0;
}

// One section of Kiln.ini, read through the profile functions on every call.
class SectionReader {
 public:
  SectionReader(const ConfigFolder& folder, std::string section)
      : folder_(folder), section_(std::move(section)) {}

  std::string Text(const char* key, const char* absent, uint32_t size = kValueBuffer) const {
    std::string value(size, '\0');
    value.resize(platform::GetPrivateProfileStringA(section_.c_str(), key, absent, value.data(),
                                                    size, folder_.iniPath.c_str()));
    return value;
  }

  // The update's reading of a text: an absent key reads as its own name.
  std::string TextOrName(const char* key) const { return Text(key, key); }
  // The folder, a separator and the value of a file-name key.
  std::string Path(const char* key) const { return folder_.PathOf(TextOrName(key)); }

  // True when the key holds a file name of its own (not the key name itself).
  bool HasFileKey(const char* key, std::string& value) const {
    value = TextOrName(key);
    return !platform::EqualsNoCase(value, key);
  }

  uint32_t Number(const char* key, int32_t absent) const {
    return platform::GetPrivateProfileIntA(section_.c_str(), key, absent, folder_.iniPath.c_str());
  }

  // A flag is on only when its value is exactly 1.
  bool Flag(const char* key) const { return Number(key, 0) == 1; }

  // The write type sent with the start of write; one the printer does not know is 0.
  uint8_t WriteType() const {
    const uint32_t value = Number(kWriteType, 0);
    if (value <= kLastWriteType) return static_cast<uint8_t>(value);
    NoteAdjusted(kWriteType, Text(kWriteType, ""), "is not 0, 1 or 2", 0);
    return 0;
  }

  // A delay in seconds. Kiln.ini is also edited by hand: a negative value or one that is
  // no number reads as the default, one above the longest as the longest, so that no
  // value wraps into a count-down of hours or one shorter than the printer needs.
  uint16_t Delay(const char* key, uint16_t defaultValue) const {
    const std::string raw = Text(key, "");
    std::string_view text = raw;
    if (text.empty()) return defaultValue;
    const bool negative = text.front() == '-';
    if (negative || text.front() == '+') text.remove_prefix(1);
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0) return NoteAdjusted(key, raw, "is no number", defaultValue);
    if (negative) return NoteAdjusted(key, raw, "is negative", defaultValue);
    // Nine digits cannot wrap the 32-bit reading; more are too many seconds anyway.
    const uint32_t value = Number(key, defaultValue);
    if (digits > 9 || value > kLongestDelaySeconds) {
      return NoteAdjusted(key, raw, "is longer than the longest delay", kLongestDelaySeconds);
    }
    return static_cast<uint16_t>(value);
  }

  auto FlagReader() const {
    return [this](const char* key, bool& flag) { flag = Flag(key); };
  }

  // From number 1 up to the first without a value.
  std::vector<TableFileRow> TableFiles() const {
    std::vector<TableFileRow> rows;
    for (int number = 1; number <= kMaxTableFiles; ++number) {
      const std::string value = Text(NumberedKey(kTableFile, number).c_str(), "");
      if (value.empty()) break;
      TableFileRow& row = rows.emplace_back();
      const std::size_t comma = value.find(',');
      row.file = value.substr(0, comma);
      if (comma != std::string::npos) row.modeName = value.substr(comma + 1);
      row.modeDescription =
          Text(NumberedKey(kModeDescription, number).c_str(), "", kDescriptionBuffer);
      row.number = number;
    }
    return rows;
  }

  const std::string& section() const { return section_; }

 private:
  // Notes in the debug trace that a value was read as another, and returns that one.
  uint16_t NoteAdjusted(const char* key, const std::string& raw, const char* why,
                        uint32_t used) const {
    log::DebugLog trace;
    if (trace.OpenFromEnvironment()) {
      trace.LogPrint(1, "Kiln.ini [%s] %s=%s %s: %u is used\n", section_.c_str(), key, raw.c_str(),
                     why, used);
    }
    return static_cast<uint16_t>(used);
  }

  const ConfigFolder& folder_;
  std::string section_;
};

// The on/off options of the Advanced Settings dialog and of the Setting dialog (but
// SupportModel2, which belongs to entry 1 only), each handed to visit with its key, in
// the order they are written. The update's entry holds them under the same names.
template <typename Holder, typename Visit>
void VisitAdvancedFlags(Holder& holder, Visit visit) {
  visit(kCpuFirst, holder.cpuFirst);
  visit(kShowCountdown, holder.showCountdown);
  visit(kNoCheckPid, holder.noCheckPid);
  visit(kNoCheckDriver, holder.noCheckDriver);
  visit(kNoWaitBusyBeforeWrite, holder.noWaitBusyBeforeWrite);
  visit(kNoBusyCheckAtStartup, holder.noBusyCheckAtStartup);
}

template <typename Holder, typename Visit>
void VisitMainFlags(Holder& holder, Visit visit) {
  visit(kTableSwitch, holder.tableSwitch);
  visit(kNoDowngrade, holder.noDowngrade);
  visit(kNoWaitBurnOk, holder.noWaitBurnOk);
}

// The changes of one write, applied in order to one section.
class SectionEdits {
 public:
  void Set(std::string key, std::string value) {
    edits_.emplace_back(std::move(key), std::move(value));
  }
  void Flag(const char* key, bool on) { Set(key, on ? "1" : "0"); }
  auto FlagWriter() {
    return [this](const char* key, bool on) { Flag(key, on); };
  }
  // Removes every line of the key (the whole name, without regard to case).
  void Remove(std::string key) { edits_.emplace_back(std::move(key), std::nullopt); }

  platform::ProfileEdit Apply(const std::string& iniPath, const std::string& section) const {
    return platform::EditProfile(iniPath.c_str(), [&](platform::IniDocument& document) {
      bool changed = false;
      for (const auto& [key, value] : edits_) {
        if (value) {
          changed = document.SetValue(section, key, *value) || changed;
          continue;
        }
        while (document.DeleteKey(section, key)) changed = true;
      }
      return changed;
    });
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> edits_;
};

void AddMainEdits(const EntrySettings& settings, SectionEdits& edits) {
  const EntrySettings::Main& main = *settings.main;
  if (const models::PrinterModel* model = models::ModelBySerial(settings.modelSerial)) {
    edits.Set(kModel, model->shortName);
  }
  if (models::IsLargeModel(settings.modelSerial)) {
    edits.Set(kCodeName, main.file);
    edits.Set(kTableName, main.tableName);
    edits.Set(kFwName, main.firmwareName);
  } else {
    edits.Set(kFile, main.file);
  }
  if (main.writeType >= 0 && main.writeType <= static_cast<int>(kLastWriteType)) {
    edits.Set(kWriteType, std::to_string(main.writeType));
  }
  VisitMainFlags(main, edits.FlagWriter());
  if (settings.index == 1) edits.Flag(kSupportModel2, main.supportModel2);

  // The tables are written whole: every number an entry can hold goes, then one key per
  // row.
  for (int n = 1; n <= kMaxTableFiles; ++n) edits.Remove(NumberedKey(kTableFile, n));
  const int rows = static_cast<int>(main.tableFiles.size());
  for (int n = 1; n <= rows; ++n) {
    const TableFileRow& row = main.tableFiles[n - 1];
    edits.Set(NumberedKey(kTableFile, n), row.file + ',' + row.modeName);
  }
  // A description follows its row to the row's new number; a number no row has any more
  // loses its description. A row that kept its number leaves its key as it is.
  for (int n = 1; n <= std::max(main.storedTableFiles, rows); ++n) {
    const TableFileRow* row = n <= rows ? &main.tableFiles[n - 1] : nullptr;
    if (row != nullptr && row->number == n) continue;
    if (row == nullptr || row->modeDescription.empty()) {
      edits.Remove(NumberedKey(kModeDescription, n));
    } else {
      edits.Set(NumberedKey(kModeDescription, n), row->modeDescription);
    }
  }
}

void AddAdvancedEdits(const EntrySettings& settings, SectionEdits& edits) {
  const EntrySettings::Advanced& advanced = *settings.advanced;
  VisitAdvancedFlags(advanced, edits.FlagWriter());
  edits.Set(kCpuDelay, std::to_string(advanced.cpuDelay));
  edits.Set(kFirmwareDelay, std::to_string(advanced.firmwareDelay));
  edits.Set(kCpuFile, advanced.cpuFile);
  if (models::IsLargeModel(settings.modelSerial)) {
    edits.Set(kCpuTable, advanced.cpuTable);
    edits.Set(kCpuCode, advanced.cpuCode);
  }
}

}  // namespace

ConfigFolder ConfigFolder::At(std::string_view folder) {
  return ConfigFolder{std::string(folder), platform::JoinPath(folder, "Kiln.ini")};
}

std::string ConfigFolder::PathOf(std::string_view name) const {
  return platform::JoinPath(folder, name);
}

ModelEntry ReadModelEntry(const ConfigFolder& folder, int index, const EarlierEntry& earlier) {
  ModelEntry entry;
  static_cast<EntryFileSets&>(entry) = earlier;
  static_cast<PackageOptions&>(entry) = earlier;
  entry.index = index;
  entry.section = NumberedSectionName(index);
  if (!SectionHasKeyLines(entry.section, folder.iniPath) && index == 1) {
    entry.section = kOlderSection;
  }
  const SectionReader reader(folder, entry.section);

  std::string value;
  if (reader.HasFileKey(kAltCodeName, value)) {
    entry.altCode = folder.PathOf(value);
    entry.altTable = reader.Path(kAltTableName);
    entry.altFirmware = reader.Path(kAltFwName);
  }
  const char* packageKey = kFile;
  if (reader.HasFileKey(kCodeName, value)) {
    entry.code = folder.PathOf(value);
    entry.table = reader.Path(kTableName);
    packageKey = kFwName;
  }
  entry.firmware = reader.Path(packageKey);
  entry.modelName = reader.TextOrName(kModel);
  entry.writeType = reader.WriteType();

  entry.packageFound = platform::FileExists(entry.firmware.c_str());
  if (!entry.packageFound) return entry;

  VisitAdvancedFlags(entry, reader.FlagReader());
  VisitMainFlags(entry, reader.FlagReader());
  entry.supportModel2 = reader.Flag(kSupportModel2);
  if (entry.cpuFirst) {
    entry.cpuFirmware = reader.Path(kCpuFile);
    entry.cpuTable = reader.Path(kCpuTable);
    entry.cpuCode = reader.Path(kCpuCode);
  }
  entry.cpuDelay = reader.Delay(kCpuDelay, kDefaultCpuDelay);
  entry.firmwareDelay = reader.Delay(kFirmwareDelay, kDefaultFirmwareDelay);
  return entry;
}

std::string EntrySectionInUse(const ConfigFolder& folder, int index) {
  std::string numbered = NumberedSectionName(index);
  if (index != 1) return numbered;
  const bool older = !SectionHasKeyLines(numbered, folder.iniPath) &&
                     SectionHasKeyLines(kOlderSection, folder.iniPath);
  return older ? kOlderSection : numbered;
}

std::vector<TableFileRow> ReadTableFiles(const ConfigFolder& folder, int index) {
  return SectionReader(folder, EntrySectionInUse(folder, index)).TableFiles();
}

EntrySettings ReadEntrySettings(const ConfigFolder& folder, int index) {
  EntrySettings settings;
  settings.index = index;
  settings.section = EntrySectionInUse(folder, index);
  const SectionReader reader(folder, settings.section);
  settings.modelSerial = models::ModelSerialFromName(reader.Text(kModel, kDefaultModel));
  const bool large = models::IsLargeModel(settings.modelSerial);

  // Assigned rather than emplaced: some compilers see the nested struct as not yet
  // constructible inside its enclosing class.
  settings.main = EntrySettings::Main{};
  EntrySettings::Main& main = *settings.main;
  main.file = reader.Text(large ? kCodeName : kFile, "");
  if (large) {
    main.tableName = reader.Text(kTableName, "");
    main.firmwareName = reader.Text(kFwName, "");
  }
  main.writeType = static_cast<int>(reader.Number(kWriteType, 0));
  VisitMainFlags(main, reader.FlagReader());
  main.supportModel2 = reader.Flag(kSupportModel2);
  main.tableFiles = reader.TableFiles();
  main.storedTableFiles = static_cast<int>(main.tableFiles.size());

  settings.advanced = EntrySettings::Advanced{};
  EntrySettings::Advanced& advanced = *settings.advanced;
  VisitAdvancedFlags(advanced, reader.FlagReader());
  advanced.cpuFile = reader.Text(kCpuFile, "");
  if (large) {
    advanced.cpuTable = reader.Text(kCpuTable, "");
    advanced.cpuCode = reader.Text(kCpuCode, "");
  }
  advanced.cpuDelay = reader.Delay(kCpuDelay, kDefaultCpuDelay);
  advanced.firmwareDelay = reader.Delay(kFirmwareDelay, kDefaultFirmwareDelay);
  return settings;
}

platform::ProfileEdit WriteEntrySettings(const ConfigFolder& folder,
                                         const EntrySettings& settings) {
  SectionEdits edits;
  if (settings.main) AddMainEdits(settings, edits);
  if (settings.advanced) AddAdvancedEdits(settings, edits);
  return edits.Apply(folder.iniPath, settings.section);
}

}  // namespace kiln::config
