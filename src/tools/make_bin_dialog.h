#pragma once

#include <QDialog>
#include <QString>

#include "tools/make_bin_form.h"

class QLineEdit;

namespace kiln::tools {

// "Make BIN:": combines a CVD, a heating table and a colour table into one table file
// (see table_file.h). It stays open after a combine, so that several files can be made
// in a row, and closes with Exit.
class MakeBinDialog : public QDialog {
 public:
  explicit MakeBinDialog(const QString& programFolder, QWidget* parent = nullptr);

  // The four path boxes: CVD, heating table, colour table, output.
  QLineEdit* pathBox(int index) const { return paths_[index]; }
  QString lastFolder() const { return QString::fromLocal8Bit(form_.lastFolder.c_str()); }

  void OnBrowse(int index);
  void OnCombine();

 private:
  QLineEdit* paths_[4] = {};
  MakeBinForm form_;
};

}  // namespace kiln::tools
