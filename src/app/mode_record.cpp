#include "app/mode_record.h"

#include <algorithm>

#include "app/sha256.h"

namespace kiln::app {

namespace {

using protocol::PrinterOutcome;
using protocol::PrinterResult;

constexpr const char* kMainStepNotRunText =
    "The update ended after the CPU code: the firmware was not sent.";

}  // namespace

ModeRecord::Package PackageRecord(const config::Package& package) {
  const config::LoadedFile& firmware = package.files.firmware;
  return {firmware.path, package.targetModel, package.version,
          firmware.readable() ? Sha256Hex(*firmware.bytes) : std::string()};
}

void NoteStep(ModeRecord& record, const protocol::FlashResult& step) {
  if (step.printers.empty() && !step.flashed) {
    // The download ended before it reached a printer: none of them was updated.
    for (PrinterOutcome& printer : record.printers) {
      printer.result = PrinterResult::kFailed;
      printer.text = step.text.c_str();
    }
    return;
  }
  for (PrinterOutcome done : step.printers) {
    const auto found = std::find_if(
        record.printers.begin(), record.printers.end(),
        [&](const PrinterOutcome& printer) { return printer.location == done.location; });
    if (found == record.printers.end()) {
      record.printers.push_back(std::move(done));
      continue;
    }
    // The version before the whole update: the first step's, or the survey's.
    if (!found->versionBefore.empty()) done.versionBefore = found->versionBefore;
    if (done.serial.empty()) done.serial = found->serial;
    if (done.model == 0) done.model = found->model;
    *found = std::move(done);
  }
}

void SettleOutcomes(ModeRecord& record, bool finished) {
  for (PrinterOutcome& printer : record.printers) {
    const bool tookCpuCodeOnly = !finished && (printer.result == PrinterResult::kUpdated ||
                                               printer.result == PrinterResult::kSent);
    if (tookCpuCodeOnly) {
      printer.result = PrinterResult::kFailed;
      printer.text = kMainStepNotRunText;
    }
  }
}

}  // namespace kiln::app
