#pragma once

#include <cstdint>
#include <optional>

namespace kiln::platform {

// Report messages to a window of another program: SendMessage of the report message with
// the caller's wParam and lParam. A report returns once the window has handled it, so the
// receiver has each report before the sender's next step starts; but a caller whose window
// thread has stopped pumping messages must not hold the update (and with it the one
// instance that may run), so each report waits at most kReportTimeLimitMs, not at all for
// a window the system already sees as hung, and a window that let one report go unanswered
// is not waited for again.
class WindowReportSender {
 public:
  static constexpr uint32_t kReportTimeLimitMs = 5000;

  // Windows always has a desktop to send through; the optional keeps the shape of the
  // X11 sender's Connect.
  static std::optional<WindowReportSender> Connect() { return WindowReportSender(); }

  // True when the window has handled the report. False, and nothing is sent, when window
  // is no window (IsWindow) or has let an earlier report go unanswered; false when it did
  // not handle this one in time.
  bool Send(uint32_t window, uint32_t message, uint32_t wParam, uint32_t lParam);

 private:
  bool unanswered_ = false;
};

}  // namespace kiln::platform
