#include "app/printer_compare.h"

#include <memory>

#include "config/firmware_version.h"
#include "protocol/printer_survey.h"

namespace kiln::app {

PrinterCompare CompareEveryPrinter(const usb::LinkFactory& links, const PrinterState& first,
                                   std::string_view packageVersion, UpdateMode mode,
                                   bool noDowngrade, bool surveyAll) {
  PrinterCompare compare;
  compare.anyNeeds = NeedsPackage(packageVersion, first.deviceVersion.view(), mode, noDowngrade);
  if (compare.anyNeeds && !surveyAll) return compare;
  // One printer alone was compared already: it is not opened again.
  if (!surveyAll && links()->CountDevices(first.connectedModel) < 2) return compare;
  compare.printers = protocol::SurveyPrinters(links, first.connectedModel, first.largeModel);
  for (protocol::PrinterOutcome& printer : compare.printers) {
    const bool needs = NeedsPackage(packageVersion, printer.versionBefore, mode, noDowngrade);
    const bool current = config::IsFirmwareVersion(printer.versionBefore) && !needs;
    printer.result =
        current ? protocol::PrinterResult::kCurrent : protocol::PrinterResult::kNotSent;
    // A printer that could not be opened or asked is never judged by a version it lacks.
    compare.anyNeeds = compare.anyNeeds || (needs && !printer.versionBefore.empty());
  }
  return compare;
}

}  // namespace kiln::app
