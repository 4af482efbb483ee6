#pragma once

// The JSON fields --json and the update history share. Their names are documented in
// kiln(1) and stable: programs outside Kiln read them.

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "protocol/printer_outcome.h"

namespace kiln::app {

using OrderedJson = nlohmann::ordered_json;

// A text, or null when it is empty (not known, not read).
OrderedJson TextOrNull(std::string_view text);

// location, serial, model, version_before, version_after, outcome, text.
void AddPrinterFields(OrderedJson& object, const protocol::PrinterOutcome& printer);

// One line of JSON; bytes that are not UTF-8 (a file name, a serial number) become U+FFFD
// instead of stopping the output.
std::string JsonLine(const OrderedJson& value);

}  // namespace kiln::app
