#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kiln::config {

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
};

// Reads model entry index (1 or 2) of the folder's Kiln.ini, starting from previous: what
// the entry does not name, or what the reader does not reach because the package is
// missing, keeps previous's value (the window reads entries in turn and relies on it).
// Numbers that reach the printer or a pause are range-checked: a write type outside 0-2
// is 0; a delay that is negative or no number is its default (20, 25), one above
// kLongestDelaySeconds is that longest. Each such adjustment is noted in the debug trace.
ModelEntry ReadModelEntry(const ConfigFolder& folder, int index, const ModelEntry& previous = {});

}  // namespace kiln::config
