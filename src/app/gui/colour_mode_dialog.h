#pragma once

#include <QDialog>

#include "app/colour_mode_form.h"

class QComboBox;
class QLabel;

namespace kiln::app {

// The Change Color Mode dialog: shows a ColourModeForm (the printer's current colour
// mode, the colour tables of the entry and the description of the table selected).
class ColourModeDialog final : public QDialog {
 public:
  explicit ColourModeDialog(const ColourModeForm& form, QWidget* parent = nullptr);

  // The chosen table, counting from 1, once the dialog was closed with OK; else 0.
  int selection() const { return selection_; }

 private:
  void ShowDescription(int row);

  const ColourModeForm& form_;
  QComboBox* tables_ = nullptr;
  QLabel* description_ = nullptr;
  int selection_ = 0;
};

// Runs the dialog modally over parent, for ChangeColourMode.
ColourModeDialogRunner ColourModeDialogOver(QWidget* parent);

}  // namespace kiln::app
