#pragma once

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <memory>
#include <string>

#include "support/temp_dir.h"

namespace kiln::testing {

// A program folder with a Kiln.ini, and one dialog of type Dialog opened on it. Controls
// are found by their template IDs.
template <typename Dialog>
class EntryDialogFixture : public ::testing::Test {
 protected:
  void WriteIni(std::string_view text) { dir_.Write("Kiln.ini", text); }
  std::string Contents() const { return TempDir::Read(dir_.File("Kiln.ini")); }
  QString Path(std::string_view name) const { return QString::fromStdString(dir_.File(name)); }

  Dialog& Open(int entry = 1) {
    dialog_ = std::make_unique<Dialog>(entry, QString::fromStdString(dir_.path().string()),
                                       Path("Kiln.ini"));
    dialog_->show();
    return *dialog_;
  }
  template <typename Control>
  Control* Find(int id) const {
    auto* control = dialog_->template findChild<Control*>(QStringLiteral("id%1").arg(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
  }
  void Press(int id) { QTest::mouseClick(Find<QPushButton>(id), Qt::LeftButton); }
  bool Shown(int id) const { return !Find<QWidget>(id)->isHidden(); }
  bool Accepted() const { return !dialog_->isVisible() && dialog_->result() == QDialog::Accepted; }

  TempDir dir_;
  std::unique_ptr<Dialog> dialog_;
};

}  // namespace kiln::testing
