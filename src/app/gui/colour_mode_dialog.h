#pragma once

#include <QDialog>
#include <string>
#include <string_view>

#include "app/app_session.h"
#include "app/printer_queries.h"
#include "i18n/language_file.h"

class QComboBox;
class QLabel;

namespace kiln::app {

// The Change Color Mode dialog: the printer's current colour mode, the colour tables of
// the active model entry (mode name and table version), and the description of the table
// selected. It reads Kiln.ini through a language source of its own.
class ColourModeDialog final : public QDialog {
 public:
  ColourModeDialog(const config::ConfigFolder& folder, int entry, uint32_t targetModel,
                   std::string_view currentMode, std::string_view languageTag,
                   QWidget* parent = nullptr);

  // The chosen table, counting from 1, once the dialog was closed with OK; else 0.
  int selection() const { return selection_; }

 private:
  void ShowDescription(int row);

  config::ConfigFolder folder_;
  int entry_;
  std::string languageTag_;
  i18n::LanguageFile language_;
  QComboBox* tables_ = nullptr;
  QLabel* description_ = nullptr;
  int selection_ = 0;
};

// What the Change Color Mode button runs: asks the printer of targetModel for its colour
// mode (bounded in time unless noBusyCheck, "N/A" when it does not answer), shows the
// dialog for model entry activeEntry, and on OK records the chosen table in the session
// for the next update. True when a table was chosen; the status, the buttons and the
// printer stay as they were.
bool ChangeColourMode(QWidget* parent, AppSession& session, int activeEntry, uint32_t targetModel,
                      bool noBusyCheck, PrinterQueries& queries);

}  // namespace kiln::app
