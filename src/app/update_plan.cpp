#include "app/update_plan.h"

#include "app/version_text.h"
#include "config/firmware_package.h"
#include "models/model_table.h"

namespace kiln::app {

namespace {

// After the CPU firmware, the window counts ten seconds before the normal firmware.
constexpr int kCpuVisibleWaitSeconds = 10;
// After the normal firmware, the window waits before it reads the printer's version again.
constexpr int kVersionSettleSeconds = 5;

// What every step of the update shares.
protocol::FlashRequest Common(const config::ModelEntry& entry, const config::Package& package,
                              const PrinterAnswer& printer, UpdateMode mode, bool noWaitBurnOk) {
  protocol::FlashRequest flash;
  flash.targetModel = package.targetModel;
  flash.connectedModel = printer.connectedModel;
  flash.largeModel = models::IsLargeModel(package.targetModel);
  flash.driverName = package.driverName;
  flash.noWaitBurnOk = noWaitBurnOk;
  // Nobody watches the silent update: its count-down is not notified.
  flash.showCountdown = entry.showCountdown && mode == UpdateMode::kWindow;
  flash.noWaitBusyBeforeWrite = entry.noWaitBusyBeforeWrite;
  // For the record of the update, and for the rule below: each printer's version just
  // before its firmware goes out, read on the channel the firmware then goes over.
  flash.readVersionBefore = true;
  flash.needsImage = [noDowngrade = entry.noDowngrade, version = package.version,
                      mode](const std::string& printerVersion) {
    return NeedsPackage(version, printerVersion, mode, noDowngrade);
  };
  return flash;
}

// The silent update leaves the CPU step out for a printer of a model that has its CPU
// code already from a version on; the window always sends it.
bool CpuStepSkipped(const config::Package& package, const PrinterAnswer& printer, UpdateMode mode) {
  const double skipFrom = models::QuirksOf(package.targetModel).cpuSkipVersion;
  return mode == UpdateMode::kSilent && skipFrom > 0 &&
         VersionAsDecimal(printer.version) >= skipFrom;
}

PlanStep AlternativeSet(const config::ModelEntry& entry, const config::Package& package,
                        protocol::FlashRequest flash, uint32_t model) {
  flash.openModel = model;
  flash.reopenModel = model;
  flash.writeType = entry.writeType;
  flash.waitSeconds = entry.cpuDelay;
  flash.waitForRestart = true;
  flash.image = package.files.altFirmware;
  flash.code = package.files.altCode;
  flash.table = package.files.altTable;
  const auto version = config::PackageVersionOf(package.files.altFirmware, entry.writeType);
  if (version) flash.expectedVersion = version->view();
  // The normal firmware follows whatever became of the alternative set.
  return {StepKind::kAlternativeSet, std::move(flash), false, 0};
}

PlanStep CpuFirmware(const config::ModelEntry& entry, const config::Package& package,
                     protocol::FlashRequest flash, UpdateMode mode) {
  const uint32_t model = package.targetModel;
  flash.openModel = model;
  flash.reopenModel = model;
  flash.writeType = config::kCpuWriteType;
  flash.waitSeconds = uint32_t{entry.cpuDelay} + package.cpuProgramSeconds;
  flash.waitForRestart = false;
  flash.expectedVersion = package.cpuVersion;
  const config::PackageFiles& files = package.files;
  if (mode == UpdateMode::kWindow && models::IsLargeModel(model)) {
    // The window sends a large model its CPU step as three files: the CPU code file is
    // the image. The silent update sends the CPU package as any other model's.
    flash.image = files.cpuCode;
    flash.code = files.cpuFirmware;
    flash.table = files.cpuTable;
  } else {
    flash.image = files.cpuFirmware;
    flash.code = files.code;
    flash.table = files.table;
  }
  const int visibleWait = mode == UpdateMode::kWindow ? kCpuVisibleWaitSeconds : 0;
  return {StepKind::kCpuFirmware, std::move(flash), true, visibleWait};
}

PlanStep Firmware(const config::ModelEntry& entry, const config::Package& package,
                  protocol::FlashRequest flash, uint32_t openModel, uint32_t reopenModel,
                  UpdateMode mode) {
  flash.openModel = openModel;
  flash.reopenModel = reopenModel;
  flash.writeType = entry.writeType;
  flash.waitSeconds = uint32_t{entry.firmwareDelay} + package.programSeconds;
  flash.waitForRestart = true;
  flash.image = package.files.firmware;
  flash.code = package.files.code;
  flash.table = package.files.table;
  // The colour table is chosen in the window; the silent update sends the package as it is.
  if (mode == UpdateMode::kWindow && entry.tableSwitch) {
    flash.colourTable = package.files.colourTable;
  }
  flash.expectedVersion = package.version;
  return {StepKind::kFirmware, std::move(flash), true, 0};
}

}  // namespace

bool NeedsPackage(std::string_view packageVersion, std::string_view version, UpdateMode mode,
                  bool noDowngrade) {
  if (mode == UpdateMode::kSilent) return DeviceOlderThanPackage(version, packageVersion);
  return !noDowngrade || !PackageOlderThanDevice(packageVersion, version);
}

UpdatePlan PlanUpdate(const config::ModelEntry& entry, const config::Package& package,
                      const PrinterAnswer& printer, UpdateMode mode) {
  const bool window = mode == UpdateMode::kWindow;
  // A large model that answered under its own or the fall-back model restarts without
  // reporting the end of its programming: the window does not wait for it.
  const bool noWaitBurnOk =
      entry.noWaitBurnOk || (window && models::IsLargeModel(printer.connectedModel));
  const protocol::FlashRequest common = Common(entry, package, printer, mode, noWaitBurnOk);

  UpdatePlan plan;
  uint32_t openModel = package.targetModel;
  // The silent update finds the printers under the target model and waits for them under
  // it; the window expects them back under the model the package names.
  uint32_t reopenModel = window ? package.packageModel : package.targetModel;
  // A printer that answers only as the fall-back model takes, in the window, the
  // alternative set first when its version could be read, and is addressed as the
  // fall-back model until it comes back under the package's model.
  const uint32_t fallBack = models::FallBackModelOf(package.targetModel);
  const bool answersAsFallBack = window && fallBack != 0 && printer.connectedModel == fallBack;
  const bool alternativeSet = answersAsFallBack && printer.versionRead;
  if (alternativeSet) {
    plan.steps.push_back(AlternativeSet(entry, package, common, printer.connectedModel));
    openModel = printer.connectedModel;
    reopenModel = package.targetModel;
  } else if (entry.cpuFirst) {
    plan.cpuStepSkipped = CpuStepSkipped(package, printer, mode);
    if (!plan.cpuStepSkipped) plan.steps.push_back(CpuFirmware(entry, package, common, mode));
  } else if (answersAsFallBack && package.targetModel != fallBack) {
    openModel = fallBack;
    reopenModel = package.targetModel;
  }

  protocol::FlashRequest firmware = common;
  // Addressed as the fall-back model, the printer's colour table is merged in that
  // model's layout.
  firmware.targetModel = openModel;
  plan.steps.push_back(Firmware(entry, package, firmware, openModel, reopenModel, mode));
  if (window && !noWaitBurnOk) plan.versionRereadAfterSeconds = kVersionSettleSeconds;
  // The model table is looked up here, once: each download is handed what it needs.
  for (PlanStep& step : plan.steps) step.flash.facts = protocol::ModelFactsFor(step.flash);
  return plan;
}

}  // namespace kiln::app
