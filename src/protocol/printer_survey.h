#pragma once

#include <cstdint>
#include <vector>

#include "protocol/printer_outcome.h"
#include "usb/link_factory.h"

namespace kiln::protocol {

// Each printer of the model present now, in enumeration order (the first is the one the
// short queries ask), with the version it reports; outcome kQueried. A printer that does
// not answer is listed with an empty version; one that cannot be opened also with the
// reason (DescribeUnopenedPrinter's text).
std::vector<PrinterOutcome> SurveyPrinters(const usb::LinkFactory& makeLink, uint32_t model,
                                           bool largeModel);

}  // namespace kiln::protocol
