#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/model_entry.h"
#include "config/package.h"
#include "protocol/firmware_download.h"

namespace kiln::app {

// Who runs the update. The rules that differ between the two are decided here, in one
// place, from this value.
enum class UpdateMode {
  kWindow,  // START in the main window: a technician watches, the printer may be re-addressed
  kSilent,  // the silent update for another program: only the package's own files, no waits shown
};

// The printer as it answered before the update.
struct PrinterAnswer {
  // The model it answered as: the target, the model the target falls back to, or 0.
  uint32_t connectedModel = 0;
  // Its version could be read when the update was prepared, and what it said (the first
  // four characters in the silent update).
  bool versionRead = false;
  std::string version;
};

// What one step of an update sends.
enum class StepKind {
  kAlternativeSet,  // the alternative file set, for a printer that answers as the fall-back model
  kCpuFirmware,     // the CPU firmware ahead of the normal firmware
  kFirmware,        // the normal firmware, with the chosen colour table
};

struct PlanStep {
  StepKind kind = StepKind::kFirmware;
  protocol::FlashRequest flash;
  // A failed step ends the update; a step that does not stop it is not reported either.
  bool failureEndsUpdate = true;
  // Seconds counted down on screen, a second at a time, after the step succeeded.
  int visibleWaitSeconds = 0;
};

// One update as plain data: its steps in order, and what follows the last one.
struct UpdatePlan {
  std::vector<PlanStep> steps;
  // The CPU step is left out because the printer has the CPU code already.
  bool cpuStepSkipped = false;
  // After the normal firmware went out: seconds to wait, then the printer's version is read
  // again and shown. 0: not read again.
  int versionRereadAfterSeconds = 0;
};

// Whether a printer that reports version (empty when it could not be read) is sent the
// package in mode. The silent update writes only to a printer whose version it read and
// found older than the package's. The window writes to every printer, and with
// DisableOverwriteNewer (noDowngrade) to every printer the package is not older
// than, so that a newer printer is never downgraded because another one is older. The
// compare before an update and the download itself, on each printer's channel right
// before its image, both decide by this rule; the window's START follows it too.
bool NeedsPackage(std::string_view packageVersion, std::string_view version, UpdateMode mode,
                  bool noDowngrade);

// The steps of one update of the entry's package to the printer as it answered, in mode.
// Each step's download sends only to the printers that need the package (NeedsPackage).
UpdatePlan PlanUpdate(const config::ModelEntry& entry, const config::Package& package,
                      const PrinterAnswer& printer, UpdateMode mode);

}  // namespace kiln::app
