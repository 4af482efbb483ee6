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
  std::string iniPath;  // folder + "/Kiln.ini"

  static ConfigFolder At(std::string_view folder);
  // folder + "/" + name: the path of a file Kiln.ini names.
  std::string PathOf(std::string_view name) const;
};

// What one model entry of Kiln.ini ([FW_INFO1], [FW_INFO2]) says, with the reader's
// defaults, as one value. Paths are whole (folder + "/" + the value).
struct ModelEntry {
  int index = 1;
  // The section the entry was really read from: entry 1 falls back to "FW_INFO" when
  // "FW_INFO1" has no key lines.
  std::string section;
  // The firmware package named by the entry exists. When it does not, the reader stops
  // before the keys that follow the package's; they keep the values of the entry the
  // read started from.
  bool packageFound = false;

  std::string firmware;                        // File, or FwName when CodeName is given
  std::string code, table;                     // CodeName and TableName; unchanged without CodeName
  std::string altFirmware, altCode, altTable;  // the alternative set; unchanged without OeeCodeName
  std::string modelName;                       // Model: the target model's short name
  uint8_t writeType = 0;                       // WriteType: 0 whole, 1 except backup, 2 CPU code

  // Read only when the package exists.
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

  friend bool operator==(const ModelEntry&, const ModelEntry&) = default;
};

// Reads model entry index (1 or 2) of the folder's Kiln.ini, starting from previous: what
// the entry does not name, or what the reader does not reach because the package is
// missing, keeps previous's value (the window reads entries in turn and relies on it).
// Numbers that reach the printer or a pause are range-checked: a write type outside 0-2
// is 0; a delay that is negative or no number is its default (20, 25), one above
// kLongestDelaySeconds is that longest. Each such adjustment is noted in the debug trace.
ModelEntry ReadModelEntry(const ConfigFolder& folder, int index, const ModelEntry& previous = {});

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
  // The Advanced Settings dialog: CPU firmware first with its files, options, delays.
  struct Advanced {
    bool cpuFirst = false;               // Cpu1st
    bool showCountdown = false;          // ActInfo
    bool noCheckPid = false;             // NoCheckPid
    bool noCheckDriver = false;          // NoCheckDriver
    bool noWaitBusyBeforeWrite = false;  // NoWaitBusyBeforeWriteFW
    bool noBusyCheckAtStartup = false;   // NotCheckBusyAtStartup
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
