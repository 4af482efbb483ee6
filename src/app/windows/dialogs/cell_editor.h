#pragma once

#include <windows.h>

#include <string>

namespace kiln::app::windows {

class TableFileList;

// The edit box over one cell of a TableFileList (control id 1001). It ends itself when
// it loses the keyboard focus, reporting its text (or, after Escape, none) to the list's
// parent as an end-of-label-edit notification, and deletes itself with its window.
class CellEditor {
 public:
  static constexpr int kControlId = 1001;

  // Creates the editor's window over rect (the list's client coordinates) with the
  // alignment style given; the editor takes the focus with its text selected. nullptr
  // when the window cannot be created.
  static HWND Open(TableFileList& owner, int row, int column, const std::wstring& text,
                   const RECT& rect, DWORD alignment);

 private:
  CellEditor(TableFileList& owner, int row, int column)
      : owner_(owner), row_(row), column_(column) {}
  static LRESULT CALLBACK Procedure(HWND editor, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void SendEndEdit();
  void FitWidth();

  TableFileList& owner_;
  HWND editor_ = nullptr;
  int row_;
  int column_;
  bool cancelled_ = false;
  bool ended_ = false;
};

}  // namespace kiln::app::windows
