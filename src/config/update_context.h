#pragma once

#include <atomic>
#include <cstdint>

#include "platform/fixed_text.h"

namespace kiln {

class DownloadObserver;

using PathText = FixedText<512>;
using NameText = FixedText<64>;
using VersionText = FixedText<24>;

// The printer as the short queries found it, and the packets they address it with.
struct PrinterState {
  bool largeModel = false;      // the large models' packets
  uint32_t connectedModel = 0;  // the model the printer answered as (the target, 19 or 0)
  VersionText deviceVersion;    // its revision, or "N/A"
};

// The one record of configuration and run-time state that the main window, the update
// worker, the printer checks and the download share. Created zeroed; passed by
// reference, never copied. Which part writes which field is noted beside it.
struct UpdateContext {
  UpdateContext() = default;
  UpdateContext(const UpdateContext&) = delete;
  UpdateContext& operator=(const UpdateContext&) = delete;

  PathText baseDir;               // start-up: folder of the program, no trailing separator
  PathText iniPath;               // start-up: baseDir + "/Kiln.ini"
  PathText firmwarePath;          // configuration: key File or FwName
  PathText codePath;              // configuration (swapped by the worker): key CodeName
  PathText tablePath;             // configuration (swapped by the worker): key TableName
  PathText altFirmwarePath;       // configuration: key OeeFwName
  PathText altCodePath;           // configuration: key OeeCodeName
  PathText altTablePath;          // configuration: key OeeTableName
  PathText colourTablePath;       // colour-mode change: table for the next update, or empty
  PathText cpuFirmwarePath;       // configuration: key CpuFile
  PathText cpuTablePath;          // configuration: key CpuTable
  PathText cpuCodePath;           // configuration: key CpuFwCode
  NameText modelName;             // configuration: key Model
  NameText driverName;            // package: driver of the target model
  NameText packageDriverName;     // package: driver of the model the package names
  VersionText packageVersion;     // package: four-character version
  VersionText cpuPackageVersion;  // package: version of the CPU package
  DownloadObserver* notifyWindow = nullptr;  // start-up: receives download notifications
  uint32_t targetVidPid = 0;                 // package: vendor << 16 | product of the target model
  uint32_t packageVidPid = 0;                // package: vendor << 16 | product named by the package
  uint32_t targetModel = 0;   // package (changed by the worker): model the update addresses
  uint32_t packageModel = 0;  // package (changed by the worker): model the package names
  uint8_t writeType = 0;      // configuration: 0 whole, 1 except backup, 2 CPU
  // An update is running: set on the window thread when START is pressed, read there
  // and by the command-line modes; atomic because the worker thread runs meanwhile.
  std::atomic<bool> busy = false;
  bool silent = false;                 // command line: silent update
  bool cpuFirst = false;               // configuration: Cpu1st
  bool showCountdown = false;          // configuration: ActInfo
  bool noCheckPid = false;             // configuration: NoCheckPid
  bool noCheckDriver = false;          // configuration: NoCheckDriver
  uint16_t cpuExtraDelay = 0;          // package: programming time of the CPU package, seconds
  uint16_t extraDelay = 0;             // package: programming time of the firmware package, seconds
  uint16_t cpuDelay = 0;               // configuration: Delay1, seconds
  uint16_t firmwareDelay = 0;          // configuration: Delay2, seconds
  bool tableSwitch = false;            // configuration (cleared by the window): EnableTableSwitch
  bool noDowngrade = false;            // configuration: DisableOverwriteNewer
  bool noWaitBurnOk = false;           // configuration (forced on by the worker): NotWaitBurnOK
  bool noWaitBusyBeforeWrite = false;  // configuration: NoWaitBusyBeforeWriteFW
  bool supportModel2 = false;          // configuration: SupportModel2
  PrinterState printer;                // connection check: the printer as it answered
  bool noBusyCheckAtStartup = false;   // configuration: NotCheckBusyAtStartup
};

}  // namespace kiln
