#pragma once

#include <cstdint>
#include <optional>

namespace kiln::platform {

// Report messages to a window of another program: SendMessage of the report message with
// the caller's wParam and lParam. SendMessage returns once the window has handled it, so
// the receiver has each report before the sender's next step starts.
class WindowReportSender {
 public:
  // Windows always has a desktop to send through; the optional keeps the shape of the
  // X11 sender's Connect.
  static std::optional<WindowReportSender> Connect() { return WindowReportSender(); }

  // False, and nothing is sent, when window is no window (IsWindow).
  bool Send(uint32_t window, uint32_t message, uint32_t wParam, uint32_t lParam);
};

}  // namespace kiln::platform
