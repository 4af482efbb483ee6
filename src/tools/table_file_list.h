#pragma once

#include <QPointer>
#include <QString>
#include <QTableWidget>

#include "config/model_entry.h"

namespace kiln::tools {

class CellEditor;

// The colour-table list of the Setting dialog: file name, version and description of
// each table file, one row each. A click on a Description cell, or on the file name of
// the row that has the focus, opens a CellEditor over it; from there the keyboard moves the editor
// from cell to cell like a spreadsheet cursor. Delete removes the selected row. The list reads and
// writes no file.
class TableFileList : public QTableWidget {
 public:
  static constexpr int kFileNameColumn = 0;
  static constexpr int kVersionColumn = 1;
  static constexpr int kDescriptionColumn = 2;
  static constexpr int kMaxRows = config::kMaxTableFiles;  // as many as an entry holds

  explicit TableFileList(QWidget* parent = nullptr);

  // The three columns: file name 150 pixels, version 65, the description the rest.
  void AddColumns();
  void AppendRow(const QString& fileName, const QString& version, const QString& description);
  QString CellText(int row, int column) const;
  void SetCell(int row, int column, const QString& text);

  // Opens an editor over the cell, scrolling it into view; nullptr when there is no such
  // cell or its column is narrower than 5 pixels. An editor already open is ended first
  // (its text kept).
  CellEditor* EditCell(int row, int column);
  // Row at point in viewport coordinates and its column, or -1.
  int CellFromPoint(const QPoint& point, int* column) const;
  // The end of an edit: text is the new cell text, or nullptr when the edit was
  // cancelled and the cell keeps its text.
  void EndCellEdit(CellEditor* editor, int row, int column, const QString* text);
  // Ends an open editor, keeping its text (before the list is read for saving).
  void CommitOpenEditor();
  CellEditor* openEditor() const;
  int RowsPerPage() const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  QPointer<CellEditor> editor_;
};

}  // namespace kiln::tools
