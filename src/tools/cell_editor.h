#pragma once

#include <QLineEdit>
#include <QString>

namespace kiln::tools {

class TableFileList;

// A one-line edit box over one cell of a TableFileList. It ends itself when it loses the
// keyboard focus, hands its text (or, after Escape, none) to the list, and deletes
// itself; the list keeps no owning pointer to it.
//   Tab / Shift+Tab   next / previous cell, row by row
//   Up / Down         same column, row above / below
//   Ctrl+Home / End   same column, first / last row (without Ctrl: caret)
//   Page Up / Down    a page of rows up / down, on the key's release
//   Enter / Escape    keep / drop the text and give the focus back to the list
// Typing widens the box to fit its text, up to the list's right edge.
class CellEditor : public QLineEdit {
 public:
  CellEditor(TableFileList* owner, int row, int column, const QString& initialText);

  int row() const { return row_; }
  int column() const { return column_; }
  // Hands the text to the list (unless cancelled) once and closes the editor.
  void End();

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void MoveBy(int rows, int columns);
  void MoveTo(int row, int column);
  void FitWidth();

  TableFileList* owner_;
  int row_;
  int column_;
  QString initialText_;
  bool cancelled_ = false;
  bool ended_ = false;
};

}  // namespace kiln::tools
