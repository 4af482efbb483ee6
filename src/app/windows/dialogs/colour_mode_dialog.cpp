// The Change Color Mode dialog (template 134) over ColourModeForm: the printer's current
// mode, the entry's colour tables and the chosen table's description, in the language's
// texts.

#include "app/windows/dialogs/dialog_ids.h"
#include "app/windows/dialogs/dialog_support.h"
#include "app/windows/dialogs/modal_dialog.h"
#include "app/windows/dialogs/retext_window.h"
#include "app/windows/dialogs/tool_dialogs.h"

namespace kiln::app::windows {

namespace {

class ColourModeDialog {
 public:
  explicit ColourModeDialog(const ColourModeForm& form) : form_(form) {}

  int Run(HWND owner) {
    return RunModal(owner, KILN_IDD_COLOUR_MODE, *this) == IDOK ? selection_ : 0;
  }

  INT_PTR Message(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    if (message != WM_COMMAND) return FALSE;
    Command(LOWORD(wParam), HIWORD(wParam));
    return TRUE;
  }

  void Open(HWND dialog) {
    dialog_ = dialog;
    const std::string& tag = form_.languageTag();
    if (form_.HasLanguageTexts()) RetextWindow(dialog_, form_.language(), tag);
    const HWND tables = ::GetDlgItem(dialog_, KILN_IDC_MODE_TABLES);
    for (const i18n::LanguageText& row : form_.rows()) {
      ::SendMessageW(tables, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(LanguageWide(row.view(), tag).c_str()));
    }
    if (!form_.CanChoose()) {
      EnableControls(dialog_, {KILN_IDC_MODE_TABLES, IDOK}, false);
    } else {
      ::SendMessageW(tables, CB_SETCURSEL, 0, 0);
      ShowDescription(0);
    }
    ::SetDlgItemTextW(dialog_, KILN_IDC_MODE_CURRENT,
                      LanguageWide(form_.currentMode(), tag).c_str());
    if (form_.HasLanguageTexts()) RetextWindow(dialog_, form_.language(), tag);
  }

 private:
  void ShowDescription(int row) {
    if (row < 0) return;
    ::SetDlgItemTextW(dialog_, KILN_IDC_MODE_DESCRIPTION,
                      LanguageWide(form_.Description(row).view(), form_.languageTag()).c_str());
  }

  int Chosen() const {
    return static_cast<int>(
        ::SendDlgItemMessageW(dialog_, KILN_IDC_MODE_TABLES, CB_GETCURSEL, 0, 0));
  }

  void Command(int id, int code) {
    if (id == KILN_IDC_MODE_TABLES && code == CBN_SELCHANGE) {
      ShowDescription(Chosen());
    } else if (id == IDOK) {
      // Enter reaches here even with OK disabled: without a row there is nothing to take.
      if (!form_.CanChoose() || Chosen() < 0) return;
      selection_ = Chosen() + 1;
      ::EndDialog(dialog_, IDOK);
    } else if (id == IDCANCEL) {
      ::EndDialog(dialog_, IDCANCEL);
    }
  }

  const ColourModeForm& form_;
  HWND dialog_ = nullptr;
  int selection_ = 0;
};

}  // namespace

ColourModeDialogRunner ColourModeDialogOver(HWND owner) {
  return [owner](const ColourModeForm& form) { return ColourModeDialog(form).Run(owner); };
}

}  // namespace kiln::app::windows
