#pragma once

#include <QDialog>
#include <QString>

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
  const QString& lastFolder() const { return lastFolder_; }

  void OnBrowse(int index);
  void OnCombine();

 private:
  QLineEdit* paths_[4] = {};
  QString lastFolder_;
};

}  // namespace kiln::tools
