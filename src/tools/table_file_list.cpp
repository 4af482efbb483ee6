#include "tools/table_file_list.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>

#include "tools/cell_editor.h"

namespace kiln::tools {

TableFileList::TableFileList(QWidget* parent) : QTableWidget(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);  // the CellEditor does the editing
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setTabKeyNavigation(false);
  setWordWrap(false);
  setShowGrid(true);
  verticalHeader()->hide();
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setMinimumSectionSize(0);  // a column may be dragged down to nothing
}

void TableFileList::AddColumns() {
  setColumnCount(3);
  setHorizontalHeaderLabels({QStringLiteral("Table File Name"), QStringLiteral("Version"),
                             QStringLiteral("Description")});
  setColumnWidth(kFileNameColumn, 150);
  setColumnWidth(kVersionColumn, 65);
  // The description fills the rest of the list, but is never narrower than its header.
  const int rest = width() - 2 * frameWidth() - 150 - 65;
  setColumnWidth(kDescriptionColumn,
                 std::max(rest, horizontalHeader()->sectionSizeHint(kDescriptionColumn)));
}

void TableFileList::AppendRow(const QString& fileName, const QString& version,
                              const QString& description) {
  const int row = rowCount();
  insertRow(row);
  SetCell(row, kFileNameColumn, fileName);
  SetCell(row, kVersionColumn, version);
  SetCell(row, kDescriptionColumn, description);
}

void TableFileList::SetCell(int row, int column, const QString& text) {
  if (QTableWidgetItem* cell = item(row, column)) {
    cell->setText(text);
    return;
  }
  // The list owns its items.
  // NOLINTNEXTLINE(cppcoreguidelines-owning-memory)
  setItem(row, column, new QTableWidgetItem(text));
}

QString TableFileList::CellText(int row, int column) const {
  const QTableWidgetItem* cell = item(row, column);
  return cell != nullptr ? cell->text() : QString();
}

CellEditor* TableFileList::EditCell(int row, int column) {
  if (row < 0 || row >= rowCount()) return nullptr;
  if (column < 0 || column >= columnCount() || columnWidth(column) < 5) return nullptr;
  CommitOpenEditor();

  // Bring the row into view; horizontally, move only when the column's left edge is out
  // of view, and then put that edge at the list's left edge.
  QScrollBar* horizontal = horizontalScrollBar();
  const int keepX = horizontal->value();
  scrollTo(model()->index(row, column), QAbstractItemView::EnsureVisible);
  horizontal->setValue(keepX);
  const int left = columnViewportPosition(column);
  if (left < 0 || left > viewport()->width()) horizontal->setValue(horizontal->value() + left);

  QRect cell = visualRect(model()->index(row, column));
  cell.setRight(std::min(cell.right(), viewport()->width() - 1));

  // The editor deletes itself when it ends.
  // NOLINTNEXTLINE(cppcoreguidelines-owning-memory)
  auto* editor = new CellEditor(this, row, column, CellText(row, column));
  const QTableWidgetItem* source = item(row, column);
  const int alignment = source != nullptr ? source->textAlignment() : 0;
  editor->setAlignment(Qt::Alignment(alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
  editor->setGeometry(cell);
  editor->show();
  editor->setFocus(Qt::OtherFocusReason);
  editor->selectAll();
  editor_ = editor;
  return editor;
}

int TableFileList::CellFromPoint(const QPoint& point, int* column) const {
  const QModelIndex index = indexAt(point);
  if (!index.isValid()) return -1;
  if (column != nullptr) *column = index.column();
  return index.row();
}

void TableFileList::EndCellEdit(CellEditor* editor, int row, int column, const QString* text) {
  if (editor_ == editor) editor_ = nullptr;
  if (text == nullptr || row >= rowCount() || column >= columnCount()) return;
  SetCell(row, column, *text);
}

CellEditor* TableFileList::openEditor() const {
  return editor_.data();
}

void TableFileList::CommitOpenEditor() {
  if (editor_) editor_->End();
}

int TableFileList::RowsPerPage() const {
  const int rowHeight =
      rowCount() > 0 ? this->rowHeight(0) : verticalHeader()->defaultSectionSize();
  return std::max(1, viewport()->height() / std::max(1, rowHeight));
}

void TableFileList::mousePressEvent(QMouseEvent* event) {
  // A click on the file name of the row that already has the focus edits that name, as
  // a list's own label editing does; a first click only selects the row.
  const int focusedRow = currentRow();
  QTableWidget::mousePressEvent(event);
  if (event->button() != Qt::LeftButton) return;
  int column = -1;
  const int row = CellFromPoint(event->position().toPoint(), &column);
  if (row < 0) return;
  if (column == kDescriptionColumn || (column == kFileNameColumn && row == focusedRow)) {
    EditCell(row, column);
  }
}

void TableFileList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete) {
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (!selected.isEmpty()) {
      int first = selected.first().row();
      for (const QModelIndex& index : selected) first = std::min(first, index.row());
      removeRow(first);
    }
  }
  QTableWidget::keyPressEvent(event);
}

void TableFileList::scrollContentsBy(int dx, int dy) {
  // A scroll ends an open editor first, so that its text goes into the cell it covers.
  if (editor_) {
    setFocus(Qt::OtherFocusReason);
    CommitOpenEditor();
  }
  QTableWidget::scrollContentsBy(dx, dy);
}

}  // namespace kiln::tools
