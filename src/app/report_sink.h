#pragma once

#include <cstdint>

namespace kiln::app {

// The report message through which the command-line modes answer the calling program:
// message number 0x5555, wParam saying what is reported, lParam the value.
inline constexpr uint32_t kReportMessage = 0x5555;

namespace report {
// Silent update.
inline constexpr uint32_t kCompared = 100;        // 1: the printer answered, versions compared
inline constexpr uint32_t kDownloadStarts = 101;  // 0: just before the first download
inline constexpr uint32_t kOutcome = 110;         // one of the outcomes below
// Version report.
inline constexpr uint32_t kPackageVersion = 102;  // packed version, 0: package unreadable
inline constexpr uint32_t kDeviceVersion = 103;   // packed version, 0: not asked or unreadable

// Values of kOutcome.
inline constexpr uint32_t kNothingAttempted = 0;  // configuration, package, model or printer
inline constexpr uint32_t kAlreadyCurrent = 1;    // the printer has this version or a newer one
inline constexpr uint32_t kUpdateWritten = 11;
inline constexpr uint32_t kUpdateFailed = 12;
}  // namespace report

// Where the modes' reports go: the caller's window, standard output, or a test's record.
// Report returns once the report has been delivered, as a synchronous message does, or
// once delivering it has failed: false when a caller's window was named and did not take
// the report (it is no window, or it did not answer in time); the mode goes on either way.
class ReportSink {
 public:
  virtual ~ReportSink() = default;
  virtual bool Report(uint32_t wParam, uint32_t lParam) = 0;
};

}  // namespace kiln::app
