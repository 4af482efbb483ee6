#pragma once

// Drives a window of another process the way a user would, by control id only: finds
// it by title, reads its controls' texts and states, clicks buttons, sends keys, and
// writes a screenshot. For the window tests run by Wine on a virtual X display.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows/wide_text.h"

namespace kiln::testing {

// Polls until condition holds or timeout has passed; whether it held.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The visible top-level window of process pid (0: any process) titled title.
inline HWND FindTopWindow(DWORD pid, const std::string& title) {
  struct Search {
    DWORD pid;
    std::wstring title;
    HWND found;
  } search{pid, platform::windows::Wide(title), nullptr};
  ::EnumWindows(
      [](HWND window, LPARAM parameter) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(parameter);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if ((s.pid != 0 && owner != s.pid) || !::IsWindowVisible(window)) return TRUE;
        wchar_t text[256] = {};
        ::GetWindowTextW(window, text, 256);
        if (s.title != text) return TRUE;
        s.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

inline HWND WaitForTopWindow(DWORD pid, const std::string& title,
                             std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindTopWindow(pid, title)) != nullptr; }, timeout);
  return found;
}

// A window's text in UTF-8, asked with a bounded wait so that a hung window fails the
// test instead of hanging it.
inline std::string TextOf(HWND window) {
  wchar_t buffer[8192] = {};
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 2000, &copied)) {
    return "<no answer>";
  }
  return platform::windows::Utf8(buffer);
}

// One dialog of another process, by its controls' ids.
class DialogDriver {
 public:
  explicit DialogDriver(HWND dialog = nullptr) : dialog_(dialog) {}

  HWND handle() const { return dialog_; }
  bool found() const { return dialog_ != nullptr; }
  HWND Control(int id) const { return ::GetDlgItem(dialog_, id); }
  std::string Text(int id) const { return TextOf(Control(id)); }
  std::string Title() const { return TextOf(dialog_); }
  bool Enabled(int id) const { return ::IsWindowEnabled(Control(id)) != FALSE; }
  bool Visible(int id) const { return ::IsWindowVisible(Control(id)) != FALSE; }

  // A click as the button itself sends it to its dialog.
  void Click(int id) const { ::PostMessageW(Control(id), BM_CLICK, 0, 0); }
  // The command a control sends (a static control's click, a menu identifier).
  void Command(int id, int code = 0) const {
    ::PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, code),
                   reinterpret_cast<LPARAM>(Control(id)));
  }
  void SetText(int id, const std::string& text) const {
    const std::wstring wide = platform::windows::Wide(text);
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                          SMTO_ABORTIFHUNG, 2000, &result);
  }
  bool WaitForText(int id, const std::string& part,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    return WaitUntil([&] { return Text(id).find(part) != std::string::npos; }, timeout);
  }
  bool Exists() const { return ::IsWindow(dialog_) != FALSE; }

 private:
  HWND dialog_;
};

// Keys as a user types them, to whatever window has the keyboard focus.
inline void PressKey(WORD key, bool shift = false) {
  std::vector<INPUT> inputs;
  auto add = [&](WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  if (shift) add(VK_SHIFT, false);
  add(key, false);
  add(key, true);
  if (shift) add(VK_SHIFT, true);
  ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Has window (of another process) paint itself and its controls whole, and gives it the
// time to finish, as before a screenshot of a window that has just changed.
inline void PaintWhole(HWND window) {
  ::RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
}

// Writes what the screen shows of window (with its frame) as a PNG: 24-bit colour,
// uncompressed deflate blocks, so no image library is needed. True when written.
bool WriteScreenshot(HWND window, const std::string& path);

// Paints window whole and writes it as name.png into $KILN_SCREENSHOT_DIR, for people to
// look at; true when written, or when no folder is set.
bool ScreenshotForReview(HWND window, const std::string& name);

}  // namespace kiln::testing
