#include "platform/windows/window_report.h"

#include <windows.h>

namespace kiln::platform {

bool WindowReportSender::Send(uint32_t window, uint32_t message, uint32_t wParam, uint32_t lParam) {
  // Window handles keep their meaning in 32 bits, so that 32- and 64-bit programs share them.
  const auto handle = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
  if (unanswered_ || !::IsWindow(handle)) return false;
  DWORD_PTR answer = 0;
  if (::SendMessageTimeoutW(handle, message, static_cast<WPARAM>(wParam),
                            static_cast<LPARAM>(lParam), SMTO_NORMAL | SMTO_ABORTIFHUNG,
                            kReportTimeLimitMs, &answer) != 0) {
    return true;
  }
  unanswered_ = true;
  return false;
}

}  // namespace kiln::platform
