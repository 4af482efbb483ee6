#include "app/json_report.h"

#include <algorithm>

#include "app/json_fields.h"

namespace kiln::app {

OrderedJson TextOrNull(std::string_view text) {
  return text.empty() ? OrderedJson(nullptr) : OrderedJson(std::string(text));
}

void AddPrinterFields(OrderedJson& object, const protocol::PrinterOutcome& printer) {
  object["location"] = TextOrNull(printer.location);
  object["serial"] = TextOrNull(printer.serial);
  object["model"] = printer.model != 0 ? OrderedJson(printer.model) : OrderedJson(nullptr);
  object["version_before"] = TextOrNull(printer.versionBefore);
  object["version_after"] = TextOrNull(printer.versionAfter);
  object["outcome"] = protocol::OutcomeWord(printer.result);
  object["text"] = TextOrNull(printer.text);
}

std::string JsonLine(const OrderedJson& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string ModeJson(const ModeRecord& record) {
  OrderedJson object;
  object["mode"] = record.mode;
  if (record.package) {
    object["package"] = {{"file", record.package->file},
                         {"model", record.package->model},
                         {"version", record.package->version},
                         {"sha256", TextOrNull(record.package->sha256)}};
  } else {
    object["package"] = nullptr;
  }
  object["printers"] = OrderedJson::array();
  for (const protocol::PrinterOutcome& printer : record.printers) {
    OrderedJson entry = OrderedJson::object();
    AddPrinterFields(entry, printer);
    object["printers"].push_back(std::move(entry));
  }
  object["reports"] = OrderedJson::array();
  for (std::size_t i = 0; i < record.reports.size(); ++i) {
    OrderedJson entry = {{"code", record.reports[i].first}, {"value", record.reports[i].second}};
    // Said only of a report that failed, so that a reader of earlier runs' objects sees
    // the same fields.
    if (std::find(record.undelivered.begin(), record.undelivered.end(), i) !=
        record.undelivered.end()) {
      entry["delivered"] = false;
    }
    object["reports"].push_back(std::move(entry));
  }
  object["result"] = record.result;
  return JsonLine(object);
}

}  // namespace kiln::app
