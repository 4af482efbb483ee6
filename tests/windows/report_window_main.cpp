// A calling program's window for the tests: prints its handle (decimal) on a line of its
// own, then one line "report <wParam> <lParam>" per report message it receives, in the
// order they arrive, and ends when the window is closed (or after a minute, so that a
// test that dies cannot leave it behind). With --hang MS it stands for a caller whose
// window thread is stuck: it prints the handle, pumps no message for MS milliseconds,
// and ends.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr UINT kReportMessage = 0x5555;
constexpr UINT_PTR kGiveUpTimer = 1;

LRESULT CALLBACK OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kReportMessage:
      std::printf("report %u %u\n", static_cast<unsigned>(wParam), static_cast<unsigned>(lParam));
      std::fflush(stdout);
      return 0;
    case WM_TIMER:
    case WM_CLOSE:
      ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = OnMessage;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"KilnTestReportWindow";
  if (::RegisterClassW(&windowClass) == 0) return 1;
  HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"reports", WS_OVERLAPPED, 0, 0, 10,
                                  10, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return 1;
  ::SetTimer(window, kGiveUpTimer, 60000, nullptr);
  std::printf("%u\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(window)));
  std::fflush(stdout);
  if (argc == 3 && std::strcmp(argv[1], "--hang") == 0) {
    ::Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    return 0;
  }
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
  return 0;
}
