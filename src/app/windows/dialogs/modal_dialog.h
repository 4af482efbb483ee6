#pragma once

#include <windows.h>

#include "app/windows/dialogs/dialog_support.h"

namespace kiln::app::windows {

// Runs the dialog of template templateId modally over owner, its messages going to
// dialog: Open(HWND) when it is created, then Message(message, wParam, lParam), which
// returns FALSE for a message it leaves to the system. The EndDialog result.
template <typename Dialog>
INT_PTR RunModal(HWND owner, int templateId, Dialog& dialog) {
  struct Procedure {
    static INT_PTR CALLBACK Of(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
      if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<Dialog*>(lParam)->Open(window);
        return TRUE;
      }
      auto* self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(window, DWLP_USER));
      return self == nullptr ? FALSE : self->Message(message, wParam, lParam);
    }
  };
  UseCommonControls();
  return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner,
                           &Procedure::Of, reinterpret_cast<LPARAM>(&dialog));
}

}  // namespace kiln::app::windows
