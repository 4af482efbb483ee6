#include "app/caller_reports.h"

namespace kiln::app {

CallerReports::CallerReports(uint32_t reportWindow, std::FILE* lines)
    : window_(reportWindow), lines_(lines) {
#ifdef _WIN32
  if (window_ != 0) sender_ = platform::WindowReportSender::Connect();
#else
  if (window_ != 0) sender_ = platform::X11ReportSender::Connect();
#endif
}

bool CallerReports::Report(uint32_t wParam, uint32_t lParam) {
  // The mode runs on whatever became of the message; the record says what was not taken.
  // No display to send through counts as not taken too: a window was named.
  const bool delivered =
      window_ == 0 || (sender_ && sender_->Send(window_, kReportMessage, wParam, lParam));
  if (lines_ != nullptr) {
    std::fprintf(lines_, "report %u %u\n", wParam, lParam);
    std::fflush(lines_);
  }
  return delivered;
}

}  // namespace kiln::app
