#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"

namespace kiln::config {

// The longest programming delay (Delay1, Delay2) in seconds: the most the Advanced
// Settings dialog accepts. A larger value in Kiln.ini is read as this.
inline constexpr uint32_t kLongestDelaySeconds = 1000;
// Write types: 0 whole, 1 except backup, 2 CPU code. Any other value reads as 0.
inline constexpr uint32_t kLastWriteType = 2;
// The write type of the CPU code: its package header sits at 0x40 and states its
// programming time first.
inline constexpr uint8_t kCpuWriteType = 2;
// The most colour tables an entry holds (TableFile1 to TableFile100).
inline constexpr int kMaxTableFiles = 100;

// The program folder and its Kiln.ini. Every file name Kiln.ini holds is relative to the
// folder; nothing here changes the current directory.
struct ConfigFolder {
  std::string folder;   // as given by the caller
  std::string iniPath;  // folder, the system's separator, "Kiln.ini"

  static ConfigFolder At(std::string_view folder);
  // The path of a file Kiln.ini names: folder, the system's separator, name.
  std::string PathOf(std::string_view name) const;
};

// The files of a large model (CodeName, TableName) and of the alternative set
// (OeeCodeName, OeeTableName, OeeFwName). Paths are whole. An entry that does not name a
// set keeps the set of the entry read before it.
struct EntryFileSets {
  std::string code, table;                     // CodeName and TableName
  std::string altFirmware, altCode, altTable;  // the alternative set

  friend bool operator==(const EntryFileSets&, const EntryFileSets&) = default;
};

// The options of an entry that are read only when its firmware package exists; an entry
// whose package is missing keeps those of the entry read before it.
struct PackageOptions {
  bool cpuFirst = false;                       // Cpu1st
  bool showCountdown = false;                  // ActInfo
  bool noCheckPid = false;                     // NoCheckPid
  bool noCheckDriver = false;                  // NoCheckDriver
  bool noWaitBusyBeforeWrite = false;          // NoWaitBusyBeforeWriteFW
  bool supportModel2 = false;                  // SupportModel2
  std::string cpuFirmware, cpuTable, cpuCode;  // CpuFile, CpuTable, CpuFwCode; only with Cpu1st
  uint16_t cpuDelay = 0;                       // Delay1, seconds (20 when absent)
  uint16_t firmwareDelay = 0;                  // Delay2, seconds (25 when absent)
  bool tableSwitch = false;                    // EnableTableSwitch
  bool noDowngrade = false;                    // DisableOverwriteNewer
  bool noWaitBurnOk = false;                   // NotWaitBurnOK
  bool noBusyCheckAtStartup = false;           // NotCheckBusyAtStartup

  friend bool operator==(const PackageOptions&, const PackageOptions&) = default;
};

// What one model entry of Kiln.ini ([FW_INFO1], [FW_INFO2]) says, with the reader's
// defaults, as one value. Paths are whole (ConfigFolder::PathOf the value).
struct ModelEntry : EntryFileSets, PackageOptions {
  int index = 1;
  // The section the entry was really read from: entry 1 falls back to "FW_INFO" when
  // "FW_INFO1" has no key lines.
  std::string section;
  // The firmware package named by the entry exists. When it does not, the reader stops
  // before the package options; they are those of the entry read before.
  bool packageFound = false;

  std::string firmware;   // File, or FwName when CodeName is given
  std::string modelName;  // Model: the target model's short name
  uint8_t writeType = 0;  // WriteType: 0 whole, 1 except backup, 2 CPU code

  friend bool operator==(const ModelEntry&, const ModelEntry&) = default;
};

// What the reader of an entry keeps from the entry read before it (the window reads its
// entries in turn and relies on it): the file sets the entry does not name, and the
// package options when the entry's package is missing. Nothing else carries over.
struct EarlierEntry : EntryFileSets, PackageOptions {
  static EarlierEntry Of(const ModelEntry& entry) { return {entry, entry}; }
};

// Reads model entry index (1 or 2) of the folder's Kiln.ini; what it does not reach comes
// from earlier (see EarlierEntry). Numbers that reach the printer or a pause are
// range-checked: a write type outside 0-2 is 0; a delay that is negative or no number is
// its default (20, 25), one above kLongestDelaySeconds is that longest. Each such
// adjustment is noted in the debug trace.
ModelEntry ReadModelEntry(const ConfigFolder& folder, int index, const EarlierEntry& earlier = {});

// The section the maintenance dialogs and the colour-mode choice use for entry index:
// "FW_INFO<index>", except that entry 1 stays in the older "FW_INFO" section while
// "FW_INFO1" has no key lines and "FW_INFO" has.
std::string EntrySectionInUse(const ConfigFolder& folder, int index);

// One colour table of an entry: TableFile<number> ("file,mode name") and
// ColorModeDesc<number>.
struct TableFileRow {
  std::string file;             // before the first comma, relative to the folder
  std::string modeName;         // after it (a language key); empty without a comma
  std::string modeDescription;  // ColorModeDesc<number> (a language key); empty when absent
  int number = 0;               // the number it was read as; 0 for a row not read from the file
};

// The colour tables of entry index, in the section EntrySectionInUse gives: from number 1
// up to the first number without a value, at most kMaxTableFiles.
std::vector<TableFileRow> ReadTableFiles(const ConfigFolder& folder, int index);

// A model entry as the maintenance dialogs show and change it: the values as stored (file
// names as written, numbers and flags as the dialogs read them), not as the update uses
// them. Each group holds the keys of one dialog; a write changes the groups present only.
struct EntrySettings {
  int index = 1;
  std::string section;       // EntrySectionInUse when read; the write goes there too
  uint32_t modelSerial = 0;  // the model Model names (M01 when absent), 0 when none

  // The Setting dialog: model, write type, file names, update options, colour tables.
  struct Main {
    // File; for a large model CodeName, with TableName and FwName (read empty otherwise).
    std::string file, tableName, firmwareName;
    int writeType = 0;           // as stored; a value outside 0-2 is not written back
    bool tableSwitch = false;    // EnableTableSwitch
    bool noDowngrade = false;    // DisableOverwriteNewer
    bool noWaitBurnOk = false;   // NotWaitBurnOK
    bool supportModel2 = false;  // SupportModel2, entry 1 only
    std::vector<TableFileRow> tableFiles;
    int storedTableFiles = 0;  // rows the file held when read
  };
  // The flags of the Advanced Settings dialog.
  struct AdvancedFlags {
    bool cpuFirst = false;               // Cpu1st
    bool showCountdown = false;          // ActInfo
    bool noCheckPid = false;             // NoCheckPid
    bool noCheckDriver = false;          // NoCheckDriver
    bool noWaitBusyBeforeWrite = false;  // NoWaitBusyBeforeWriteFW
    bool noBusyCheckAtStartup = false;   // NotCheckBusyAtStartup
  };
  // The Advanced Settings dialog: CPU firmware first with its files, options, delays.
  struct Advanced : AdvancedFlags {
    // CpuFile; CpuTable and CpuFwCode for a large model only (read empty otherwise).
    std::string cpuFile, cpuTable, cpuCode;
    // Delay1 and Delay2 as the update uses them (ReadModelEntry's range checks), so that
    // the dialog never shows, and OK never writes back, a delay the update would not use.
    uint16_t cpuDelay = 0;
    uint16_t firmwareDelay = 0;
  };
  std::optional<Main> main;
  std::optional<Advanced> advanced;
};

// Reads both groups of entry index.
EntrySettings ReadEntrySettings(const ConfigFolder& folder, int index);

// Writes the groups present into settings.section, in one atomic replacement of Kiln.ini
// (on failure the file is left as it was). Main: Model when modelSerial names a model;
// File, or for a large model CodeName, TableName and FwName; WriteType when 0-2; the
// flags as "0" or "1", SupportModel2 into entry 1 only; the colour tables rewritten
// whole (every number removed, then one "file,mode name" per row in order), each
// ColorModeDesc following its row to its new number. Advanced: the flags, the delays as
// decimal numbers, CpuFile, and for a large model CpuTable and CpuFwCode.
platform::ProfileEdit WriteEntrySettings(const ConfigFolder& folder, const EntrySettings& settings);

}  // namespace kiln::config
