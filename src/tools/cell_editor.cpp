#include "tools/cell_editor.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QStyle>
#include <algorithm>

#include "tools/table_file_list.h"

namespace kiln::tools {

namespace {
constexpr int kLastColumn = TableFileList::kDescriptionColumn;
}  // namespace

CellEditor::CellEditor(TableFileList* owner, int row, int column, const QString& initialText)
    : QLineEdit(owner->viewport()),
      owner_(owner),
      row_(row),
      column_(column),
      initialText_(initialText) {
  setObjectName(QStringLiteral("id1001"));
  setFont(owner->font());
  setText(initialText_);
}

void CellEditor::End() {
  if (ended_) return;
  ended_ = true;
  const QString current = text();
  owner_->EndCellEdit(this, row_, column_, cancelled_ ? nullptr : &current);
  if (hasFocus()) owner_->setFocus(Qt::OtherFocusReason);
  hide();
  deleteLater();
}

void CellEditor::MoveTo(int row, int column) {
  // An editor opened over the target takes over; without a target this one stays open.
  owner_->EditCell(row, column);
}

void CellEditor::MoveBy(int rows, int columns) {
  MoveTo(row_ + rows, column_ + columns);
}

bool CellEditor::event(QEvent* event) {
  // Tab and Shift+Tab move between cells; the dialog's focus chain never sees them.
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Backtab ||
        (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier) != 0)) {
      if (column_ > 0) {
        MoveBy(0, -1);
      } else if (row_ > 0) {
        MoveTo(row_ - 1, kLastColumn);
      }
      return true;
    }
    if (key->key() == Qt::Key_Tab) {
      if (column_ < kLastColumn) {
        MoveBy(0, 1);
      } else {
        MoveTo(row_ + 1, 0);
      }
      return true;
    }
  }
  return QLineEdit::event(event);
}

void CellEditor::keyPressEvent(QKeyEvent* event) {
  const bool control = (event->modifiers() & Qt::ControlModifier) != 0;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      End();  // keeps the text; the dialog's default button is not pressed
      return;
    case Qt::Key_Escape:
      cancelled_ = true;
      End();
      return;
    case Qt::Key_Up:
      if (row_ > 0) MoveBy(-1, 0);
      return;
    case Qt::Key_Down:
      MoveBy(1, 0);
      return;
    case Qt::Key_Home:
      if (!control) break;
      MoveTo(0, column_);
      return;
    case Qt::Key_End:
      if (!control) break;
      MoveTo(owner_->rowCount() - 1, column_);
      return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
      return;  // they act on release
    default:
      break;
  }
  QLineEdit::keyPressEvent(event);
  if (!event->text().isEmpty()) FitWidth();
}

void CellEditor::keyReleaseEvent(QKeyEvent* event) {
  if (!event->isAutoRepeat() && event->key() == Qt::Key_PageUp) {
    const int target = row_ - owner_->RowsPerPage();
    MoveTo(target > 0 ? target : 0, column_);
    return;
  }
  if (!event->isAutoRepeat() && event->key() == Qt::Key_PageDown) {
    const int target = row_ + owner_->RowsPerPage();
    MoveTo(target < owner_->rowCount() ? target : owner_->rowCount() - 1, column_);
    return;
  }
  QLineEdit::keyReleaseEvent(event);
}

void CellEditor::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // The edit's own context menu takes the focus for a moment; that ends nothing.
  if (event->reason() == Qt::PopupFocusReason) return;
  End();
}

void CellEditor::FitWidth() {
  // The text plus 5 pixels, plus the frame and the edit's inner margins.
  const int chrome = 2 * (style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) + 2);
  const int needed = fontMetrics().horizontalAdvance(text()) + 5 + chrome;
  if (width() >= needed) return;  // never shrinks
  const int right = std::min(x() + needed, parentWidget()->width());
  if (right > x() + width()) resize(right - x(), height());
}

}  // namespace kiln::tools
