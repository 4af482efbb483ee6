// The colour-table list's cell editor: where it opens, how keys move it, what it commits.
#include "tools/table_file_list.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <algorithm>

#include "tools/cell_editor.h"

namespace kiln::tools {
namespace {

class CellEditing : public ::testing::Test {
 protected:
  void SetUp() override {
    // NOLINTNEXTLINE(cppcoreguidelines-owning-memory): the dialog owns the list
    list_ = new TableFileList(&dialog_);
    list_->setGeometry(10, 10, 420, 160);
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog_);
    ok->setGeometry(10, 180, 60, 24);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog_, &QDialog::accept);
    list_->AddColumns();
    for (int row = 0; row < 12; ++row) {
      list_->AppendRow(QStringLiteral("t%1.bin").arg(row), QStringLiteral("V%1").arg(row),
                       QStringLiteral("Desc %1").arg(row));
    }
    dialog_.resize(440, 220);
    dialog_.show();
    dialog_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog_));
  }

  CellEditor* Editor() {
    QApplication::processEvents();
    return list_->openEditor();
  }
  void ExpectEditorAt(int row, int column) {
    CellEditor* editor = Editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->row(), row);
    EXPECT_EQ(editor->column(), column);
    EXPECT_TRUE(editor->hasFocus());
  }
  void Click(int row, int column) {
    const QRect cell = list_->visualRect(list_->model()->index(row, column));
    QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, cell.center());
  }

  QDialog dialog_;
  TableFileList* list_ = nullptr;
};

TEST_F(CellEditing, ClickOnDescriptionOpensEditorOverTheCellAndEnterCommits) {
  Click(1, 0);
  EXPECT_EQ(Editor(), nullptr) << "file-name and version cells open nothing on a click";

  Click(1, TableFileList::kDescriptionColumn);
  CellEditor* editor = Editor();
  ASSERT_NE(editor, nullptr);
  QRect cell = list_->visualRect(list_->model()->index(1, 2));
  cell.setRight(std::min(cell.right(), list_->viewport()->width() - 1));
  EXPECT_EQ(editor->geometry(), cell) << "over the cell, cut at the list's edge";
  EXPECT_EQ(editor->selectedText(), QStringLiteral("Desc 1"));
  QTest::keyClicks(editor, QStringLiteral("Glossy"));
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_EQ(list_->CellText(1, 2), QStringLiteral("Glossy"));
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_TRUE(dialog_.isVisible()) << "Enter in the editor does not press OK";

  Click(2, 2);
  QTest::keyClicks(Editor(), QStringLiteral("dropped"));
  QTest::keyClick(Editor(), Qt::Key_Escape);
  EXPECT_EQ(list_->CellText(2, 2), QStringLiteral("Desc 2"));
  EXPECT_TRUE(dialog_.isVisible()) << "Escape in the editor does not cancel the dialog";
}

TEST_F(CellEditing, ClickOnTheFileNameOfTheFocusedRowEditsIt) {
  Click(3, 0);
  EXPECT_EQ(Editor(), nullptr) << "the first click only selects the row";
  Click(3, 1);
  EXPECT_EQ(Editor(), nullptr) << "a version cell opens nothing";
  Click(3, 0);
  ExpectEditorAt(3, 0);
  QTest::keyClicks(Editor(), QStringLiteral("renamed.bin"));
  QTest::keyClick(Editor(), Qt::Key_Return);
  EXPECT_EQ(list_->CellText(3, 0), QStringLiteral("renamed.bin"));
}

TEST_F(CellEditing, TabArrowsAndControlKeysMoveTheEditor) {
  list_->EditCell(3, 2);
  QTest::keyClicks(Editor(), QStringLiteral("x"));
  QTest::keyClick(Editor(), Qt::Key_Tab);
  ExpectEditorAt(4, 0);
  EXPECT_EQ(list_->CellText(3, 2), QStringLiteral("x")) << "moving on commits the text";

  list_->EditCell(0, 0);
  QTest::keyClick(Editor(), Qt::Key_Backtab, Qt::ShiftModifier);
  ExpectEditorAt(0, 0);
  QTest::keyClick(Editor(), Qt::Key_Tab);
  ExpectEditorAt(0, 1);
  QTest::keyClick(Editor(), Qt::Key_Up);
  ExpectEditorAt(0, 1);
  QTest::keyClick(Editor(), Qt::Key_End, Qt::ControlModifier);
  ExpectEditorAt(11, 1);
  QTest::keyClick(Editor(), Qt::Key_Down);
  ExpectEditorAt(11, 1);
  QTest::keyClick(Editor(), Qt::Key_Backtab, Qt::ShiftModifier);
  ExpectEditorAt(11, 0);
  QTest::keyClick(Editor(), Qt::Key_Backtab, Qt::ShiftModifier);
  ExpectEditorAt(10, 2);
  QTest::keyClick(Editor(), Qt::Key_Home, Qt::ControlModifier);
  ExpectEditorAt(0, 2);
  QTest::keyClick(Editor(), Qt::Key_End);
  ExpectEditorAt(0, 2);
  EXPECT_EQ(Editor()->cursorPosition(), Editor()->text().size()) << "End alone moves the caret";
}

TEST_F(CellEditing, PageKeysActOnReleaseByAPageOfRows) {
  const int page = list_->RowsPerPage();
  ASSERT_GT(page, 1);
  ASSERT_LT(page, 11);
  list_->EditCell(0, 2);
  QTest::keyPress(Editor(), Qt::Key_PageDown);
  ExpectEditorAt(0, 2);
  QTest::keyRelease(Editor(), Qt::Key_PageDown);
  ExpectEditorAt(page, 2);
  QTest::keyClick(Editor(), Qt::Key_PageDown);
  QTest::keyClick(Editor(), Qt::Key_PageDown);
  ExpectEditorAt(11, 2);
  QTest::keyClick(Editor(), Qt::Key_PageUp);
  ExpectEditorAt(11 - page, 2);
  list_->EditCell(1, 2);
  QTest::keyClick(Editor(), Qt::Key_PageUp);
  ExpectEditorAt(0, 2);
}

TEST_F(CellEditing, TypingWidensTheEditorUpToTheListEdge) {
  list_->setColumnWidth(2, 60);
  list_->EditCell(0, 2);
  const int start = Editor()->width();
  QTest::keyClicks(Editor(), QStringLiteral("a somewhat longer description"));
  EXPECT_GT(Editor()->width(), start);
  EXPECT_LE(Editor()->geometry().right(), list_->viewport()->width());
  QTest::keyClicks(Editor(), QString(200, QLatin1Char('w')));
  EXPECT_EQ(Editor()->x() + Editor()->width(), list_->viewport()->width());
}

TEST_F(CellEditing, DeleteRemovesTheSelectedRowButOnlyCharactersInTheEditor) {
  list_->selectRow(2);
  list_->setFocus();
  QTest::keyClick(list_, Qt::Key_Delete);
  ASSERT_EQ(list_->rowCount(), 11);
  EXPECT_EQ(list_->CellText(2, 0), QStringLiteral("t3.bin"));

  list_->EditCell(0, 2);
  Editor()->setCursorPosition(0);
  QTest::keyClick(Editor(), Qt::Key_Delete);
  EXPECT_EQ(Editor()->text(), QStringLiteral("esc 0"));
  EXPECT_EQ(list_->rowCount(), 11);
}

TEST_F(CellEditing, ScrollAndFocusLossCommitAndNarrowColumnsCannotBeEdited) {
  list_->EditCell(0, 2);
  Editor()->setText(QStringLiteral("scrolled"));
  list_->verticalScrollBar()->setValue(3);
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(list_->CellText(0, 2), QStringLiteral("scrolled"));

  list_->EditCell(1, 2);
  Editor()->setText(QStringLiteral("left"));
  dialog_.findChild<QPushButton*>()->setFocus();
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(list_->CellText(1, 2), QStringLiteral("left")) << "losing the focus commits";

  list_->setColumnWidth(1, 4);
  EXPECT_EQ(list_->EditCell(5, 1), nullptr);
  list_->setColumnWidth(1, 5);
  EXPECT_NE(list_->EditCell(5, 1), nullptr);
  EXPECT_EQ(list_->EditCell(12, 1), nullptr) << "no such row";
}

}  // namespace
}  // namespace kiln::tools
