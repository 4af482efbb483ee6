#include "app/windows/dialogs/cell_editor.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "app/windows/dialogs/table_file_list.h"

namespace kiln::app::windows {

namespace {

constexpr int kLastColumn = TableFileList::kDescriptionColumn;
constexpr int kTextMargin = 5;  // pixels beyond the text when the editor widens

// The edit class's own procedure, under every editor.
WNDPROC editProcedure = nullptr;

bool KeyHeld(int key) {
  return (::GetKeyState(key) & 0x8000) != 0;
}

}  // namespace

HWND CellEditor::Open(TableFileList& owner, int row, int column, const std::wstring& text,
                      const RECT& rect, DWORD alignment) {
  const HWND list = owner.handle();
  const HWND editor = ::CreateWindowExW(
      0, L"EDIT", text.c_str(), WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL | alignment,
      rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, list,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlId)), ::GetModuleHandleW(nullptr),
      nullptr);
  if (editor == nullptr) return nullptr;
  // Owned by its window: deleted after the window's last message.
  auto* self = new CellEditor(owner, row, column);  // NOLINT(cppcoreguidelines-owning-memory)
  self->editor_ = editor;
  ::SetWindowLongPtrW(editor, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  editProcedure = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
      editor, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CellEditor::Procedure)));
  ::SendMessageW(editor, WM_SETFONT, ::SendMessageW(list, WM_GETFONT, 0, 0), FALSE);
  ::SetFocus(editor);
  ::SendMessageW(editor, EM_SETSEL, 0, -1);
  ::SendMessageW(editor, EM_SCROLLCARET, 0, 0);
  return editor;
}

LRESULT CALLBACK CellEditor::Procedure(HWND editor, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CellEditor*>(::GetWindowLongPtrW(editor, GWLP_USERDATA));
  if (self == nullptr) return ::CallWindowProcW(editProcedure, editor, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    const LRESULT result = ::CallWindowProcW(editProcedure, editor, message, wParam, lParam);
    ::SetWindowLongPtrW(editor, GWLP_USERDATA, 0);
    delete self;  // NOLINT(cppcoreguidelines-owning-memory)
    return result;
  }
  // A handler that moves to another cell may end (and delete) this editor: it returns
  // at once without touching it again.
  return self->Handle(message, wParam, lParam);
}

LRESULT CellEditor::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND editor = editor_;
  const auto Default = [&] {
    return ::CallWindowProcW(editProcedure, editor, message, wParam, lParam);
  };
  switch (message) {
    case WM_GETDLGCODE:
      // Tab, Enter, Escape and the arrows are the editor's, not the dialog's.
      return Default() | DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTALLKEYS;
    case WM_KILLFOCUS: {
      Default();
      SendEndEdit();
      ::DestroyWindow(editor);
      return 0;
    }
    case WM_CHAR:
      if (wParam == VK_TAB) {
        if (KeyHeld(VK_SHIFT)) {
          if (column_ > 0) {
            owner_.EditCell(row_, column_ - 1);
          } else if (row_ > 0) {
            owner_.EditCell(row_ - 1, kLastColumn);
          }
        } else {
          owner_.EditCell(column_ < kLastColumn ? row_ : row_ + 1,
                          column_ < kLastColumn ? column_ + 1 : 0);
        }
        return 0;
      }
      if (wParam == VK_RETURN) {
        ::SetFocus(owner_.handle());  // the loss of focus commits and ends the editor
        return 0;
      }
      if (wParam == VK_ESCAPE) {
        cancelled_ = true;
        ::SetFocus(owner_.handle());
        return 0;
      }
      {
        const LRESULT result = Default();
        FitWidth();
        return result;
      }
    case WM_KEYDOWN:
      switch (wParam) {
        case VK_UP:
          if (row_ > 0) owner_.EditCell(row_ - 1, column_);
          return 0;
        case VK_DOWN:
          owner_.EditCell(row_ + 1, column_);
          return 0;
        case VK_HOME:
          if (!KeyHeld(VK_CONTROL)) break;
          owner_.EditCell(0, column_);
          return 0;
        case VK_END:
          if (!KeyHeld(VK_CONTROL)) break;
          owner_.EditCell(owner_.RowCount() - 1, column_);
          return 0;
        default:
          break;
      }
      return Default();
    case WM_KEYUP:
      // Page Up and Page Down act on the key's release.
      if (wParam == VK_PRIOR) {
        const int target = row_ - owner_.RowsPerPage();
        owner_.EditCell(target > 0 ? target : 0, column_);
        return 0;
      }
      if (wParam == VK_NEXT) {
        const int target = row_ + owner_.RowsPerPage();
        owner_.EditCell(target < owner_.RowCount() ? target : owner_.RowCount() - 1, column_);
        return 0;
      }
      return Default();
    default:
      return Default();
  }
}

void CellEditor::SendEndEdit() {
  if (ended_) return;
  ended_ = true;
  const HWND list = owner_.handle();
  const int length = ::GetWindowTextLengthW(editor_);
  std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
  ::GetWindowTextW(editor_, text.data(), length + 1);
  NMLVDISPINFOW info{};
  info.hdr.hwndFrom = list;
  info.hdr.idFrom = kControlId;
  info.hdr.code = LVN_ENDLABELEDITW;
  info.item.mask = LVIF_TEXT;
  info.item.iItem = row_;
  info.item.iSubItem = column_;
  info.item.pszText = cancelled_ ? nullptr : text.data();
  info.item.cchTextMax = length;
  ::SendMessageW(::GetParent(list), WM_NOTIFY, static_cast<WPARAM>(::GetDlgCtrlID(list)),
                 reinterpret_cast<LPARAM>(&info));
}

void CellEditor::FitWidth() {
  const HWND list = owner_.handle();
  const int length = ::GetWindowTextLengthW(editor_);
  std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
  ::GetWindowTextW(editor_, text.data(), length + 1);
  SIZE extent{};
  const HDC dc = ::GetDC(list);
  const HGDIOBJ font =
      ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(list, WM_GETFONT, 0, 0)));
  ::GetTextExtentPoint32W(dc, text.data(), length, &extent);
  ::SelectObject(dc, font);
  ::ReleaseDC(list, dc);
  const int needed = extent.cx + kTextMargin;

  RECT rect{};
  ::GetWindowRect(editor_, &rect);
  ::MapWindowPoints(nullptr, list, reinterpret_cast<POINT*>(&rect), 2);
  if (rect.left > rect.right) std::swap(rect.left, rect.right);  // right-to-left layouts
  if (rect.right - rect.left >= needed) return;                  // never shrinks
  RECT client{};
  ::GetClientRect(list, &client);
  const int right = std::min<int>(rect.left + needed, client.right);
  if (right <= rect.right) return;
  ::MoveWindow(editor_, rect.left, rect.top, right - rect.left, rect.bottom - rect.top, TRUE);
}

}  // namespace kiln::app::windows
