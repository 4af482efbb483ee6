#include "protocol/printer_survey.h"

#include <memory>
#include <string>

namespace kiln::protocol {

std::vector<PrinterOutcome> SurveyPrinters(const usb::LinkFactory& makeLink, uint32_t model,
                                           bool largeModel) {
  std::vector<PrinterOutcome> printers;
  std::unique_ptr<usb::CUsbLink> link = makeLink();
  CPrnCmd prn(link.get(), SendModeFor(largeModel));
  for (const std::string& identity : link->PrinterIdentities(model)) {
    PrinterOutcome printer;
    printer.location = identity;
    if (link->OpenIOChannelTo(model, identity) == usb::kOpenOk) {
      printer = DescribeFoundPrinter(*link);
      if (prn.DoCommand(cmd::kStatusSummary) == ResultCode::kAnswered) {
        printer.versionBefore = ReadPrintableRevision(prn);
      }
      // Opened, but no version came back: never listed as if it had told one.
      if (printer.versionBefore.empty()) {
        printer.text = "Printer at " + printer.location + " did not answer.";
      }
    } else if (link->identity() == identity) {
      printer = DescribeUnopenedPrinter(*link);
    }
    printer.result = PrinterResult::kQueried;
    printers.push_back(std::move(printer));
    link->CloseIOChannel();
  }
  link->CancelPipes();
  link->Finish();
  return printers;
}

}  // namespace kiln::protocol
