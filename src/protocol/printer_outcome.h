#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/prn_cmd.h"
#include "usb/usb_link.h"

namespace kiln::protocol {

// What became of one printer. The words (OutcomeWord) are what --json and the update
// history show; callers outside Kiln match on them, so they never change.
enum class PrinterResult {
  kUpdated,  // took the firmware and, back after programming, passed its check
  kSent,     // took the firmware; not checked afterwards
  kCurrent,  // already had the package's version or a newer one: nothing sent
  kNotSent,  // nothing sent, though its own version is older or unknown
  kFailed,   // its update failed; the text says why
  kQueried,  // only its version was asked (version report)
};
const char* OutcomeWord(PrinterResult result);

// One printer in an update or a version report.
struct PrinterOutcome {
  std::string location;       // the identity the link addresses it by (where it is plugged in)
  std::string serial;         // its USB serial number; empty when the link does not know it
  uint32_t model = 0;         // the model it answered as; 0 when it was not opened
  std::string versionBefore;  // read before anything was sent; empty when not read
  std::string versionAfter;   // read after programming; empty when not read
  PrinterResult result = PrinterResult::kFailed;
  uint32_t printerError = 0;  // the error the printer reported after the download; 0 for none
  std::string text;           // the sentence of the result text about this printer; empty if none
};

// The printers a download began for, in their order: those it sent to or tried to
// (updated, sent, failed), not those left current or not sent.
std::vector<PrinterOutcome> PrintersSentTo(const std::vector<PrinterOutcome>& printers);

// The printer the link has just found: where it is, its serial number and the model it
// answers as.
PrinterOutcome DescribeFoundPrinter(const usb::CUsbLink& link);

// The printer the link has just found but could not open: described as found, not-sent,
// and its text saying where it is and why it was not opened ("Printer at 1-2 could not be
// opened: in use by another program (...).").
PrinterOutcome DescribeUnopenedPrinter(const usb::CUsbLink& link);

// The printer's revision text, bytes outside printable ASCII replaced by '?', so that a
// printer cannot put line breaks or control codes into a result or a report; empty when
// it does not answer.
std::string ReadPrintableRevision(CPrnCmd& prn);

}  // namespace kiln::protocol
