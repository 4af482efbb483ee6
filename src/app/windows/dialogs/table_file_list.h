#pragma once

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <functional>
#include <string>

namespace kiln::app::windows {

// The colour-table list of the Setting dialog, on its report-view list control (styles
// report, single selection, label editing): file name, version and description of each
// table file. A click on a Description cell opens a CellEditor over it (F2 opens one over
// the focused row's file name, for the keyboard); from there the keyboard moves the
// editor from cell to cell like a spreadsheet cursor. Delete removes the selected row.
// The list reads and writes no file: its owner hears of each change.
class TableFileList {
 public:
  static constexpr int kFileNameColumn = 0;
  static constexpr int kVersionColumn = 1;
  static constexpr int kDescriptionColumn = 2;

  struct Changes {
    std::function<void(int row, int column, const std::string& text)> cellEdited;
    std::function<void(int row)> rowDeleted;
  };

  void Attach(HWND list, Changes changes);
  HWND handle() const { return list_; }

  // The three columns: file name 150 pixels, version 65, the description the rest;
  // grid lines on.
  void AddColumns();
  void AppendRow(const std::string& fileName, const std::string& version,
                 const std::string& description);
  void DeleteAllRows();
  int RowCount() const;
  int RowsPerPage() const;
  std::string CellText(int row, int column) const;

  // Opens an editor over the cell, scrolling it into view; nullptr when there is no such
  // row or column, or the column is narrower than 5 pixels.
  HWND EditCell(int row, int column);
  // Row at point (client coordinates) and its column, or -1.
  int CellFromPoint(POINT point, int* column) const;
  // The end of a label edit, handed back by the dialog: a record with text sets the
  // cell; without text (cancelled) the cell keeps its own.
  void EndLabelEdit(const NMLVDISPINFOW& info);
  // Ends an open editor, keeping its text (before the list is read for saving).
  void CommitOpenEditor();

 private:
  static LRESULT CALLBACK Subclass(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR self);
  void DeleteSelectedRow();

  HWND list_ = nullptr;
  Changes changes_;
};

}  // namespace kiln::app::windows
