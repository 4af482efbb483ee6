#pragma once

#include <string_view>
#include <vector>

#include "app/printer_queries.h"
#include "app/update_plan.h"
#include "protocol/printer_outcome.h"
#include "usb/link_factory.h"

namespace kiln::app {

// The compare of an update's package with every printer of the model.
struct PrinterCompare {
  // Whether one printer at least needs the package (NeedsPackage).
  bool anyNeeds = false;
  // Every printer with the version it reported, current or not-sent by its own version;
  // empty when they were not asked.
  std::vector<protocol::PrinterOutcome> printers;
};

// Compares the package with every printer of the model in mode: one already at the
// package's version (or, under the rule, newer) keeps no other printer from its update.
// The first printer's version, read already (first), decides alone when that printer
// needs the package; otherwise, or when surveyAll, every printer is asked its version
// (an open each, when there is more than one printer).
PrinterCompare CompareEveryPrinter(const usb::LinkFactory& links, const PrinterState& first,
                                   std::string_view packageVersion, UpdateMode mode,
                                   bool noDowngrade, bool surveyAll);

}  // namespace kiln::app
