#include "protocol/printer_outcome.h"

namespace kiln::protocol {

namespace {

constexpr std::size_t kRevisionSize = 24;

}  // namespace

const char* OutcomeWord(PrinterResult result) {
  switch (result) {
    case PrinterResult::kUpdated:
      return "updated";
    case PrinterResult::kSent:
      return "sent";
    case PrinterResult::kCurrent:
      return "current";
    case PrinterResult::kNotSent:
      return "not-sent";
    case PrinterResult::kQueried:
      return "queried";
    case PrinterResult::kFailed:
      break;
  }
  return "failed";
}

std::vector<PrinterOutcome> PrintersSentTo(const std::vector<PrinterOutcome>& printers) {
  std::vector<PrinterOutcome> sentTo;
  for (const PrinterOutcome& printer : printers) {
    if (printer.result != PrinterResult::kCurrent && printer.result != PrinterResult::kNotSent &&
        printer.result != PrinterResult::kQueried) {
      sentTo.push_back(printer);
    }
  }
  return sentTo;
}

PrinterOutcome DescribeFoundPrinter(const usb::CUsbLink& link) {
  PrinterOutcome printer;
  printer.location = link.identity();
  printer.model = link.modelSerial();
  printer.serial = link.serial();
  return printer;
}

PrinterOutcome DescribeUnopenedPrinter(const usb::CUsbLink& link) {
  PrinterOutcome printer = DescribeFoundPrinter(link);
  printer.result = PrinterResult::kNotSent;
  const std::string& reason = link.refusal().text;
  printer.text = "Printer at " + printer.location + " could not be opened: " +
                 (reason.empty() ? std::string("it did not open") : reason) + ".";
  return printer;
}

std::string ReadPrintableRevision(CPrnCmd& prn) {
  char revision[kRevisionSize] = {};
  if (prn.GetProductRev(revision, sizeof revision) != ResultCode::kAnswered) return {};
  std::string text(revision);
  for (char& c : text) {
    if (c < 0x20 || c > 0x7E) c = '?';
  }
  return text;
}

}  // namespace kiln::protocol
