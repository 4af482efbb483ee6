#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "app/report_sink.h"
#ifdef _WIN32
#include "platform/windows/window_report.h"
#else
#include "platform/linux/x11_report.h"
#endif

namespace kiln::app {

// The reports of a command-line mode as the calling program receives them: a report
// message to the window the W option names (none for window 0 or without a display; a
// window that does not exist is passed over), and with --report-stdout also a line
// "report <wParam> <lParam>" on standard output, flushed at once, whatever the window.
// Windows: the window handle through SendMessage, waiting a bounded time; a handle that is
// no window is passed over. Report says whether the named window took the report.
class CallerReports final : public ReportSink {
 public:
  CallerReports(uint32_t reportWindow, std::FILE* lines);
  bool Report(uint32_t wParam, uint32_t lParam) override;

 private:
  uint32_t window_;
#ifdef _WIN32
  std::optional<platform::WindowReportSender> sender_;
#else
  std::optional<platform::X11ReportSender> sender_;
#endif
  std::FILE* lines_;
};

}  // namespace kiln::app
