// "Make BIN:" over MakeBinForm: three table images and the table file they make.

#include "app/windows/dialogs/dialog_ids.h"
#include "app/windows/dialogs/dialog_support.h"
#include "app/windows/dialogs/modal_dialog.h"
#include "app/windows/dialogs/setting_dialog.h"
#include "tools/make_bin_form.h"

namespace kiln::app::windows {

namespace {

struct PathRow {
  int box;  // its "..." button is 4 above
  const char* filterName;
  const char* pattern;
};

constexpr int kBrowseOffset = KILN_IDC_CVD_BROWSE - KILN_IDC_CVD;
constexpr PathRow kRows[4] = {{KILN_IDC_CVD, "dat File(*.dat)", "*.dat"},
                              {KILN_IDC_HEATING, "bin File(*.bin)", "*.bin"},
                              {KILN_IDC_COLOUR, "dat File(*.dat)", "*.dat"},
                              {KILN_IDC_OUTPUT, "bin File(*.bin)", "*.bin"}};

class MakeBinDialog {
 public:
  MakeBinDialog(const std::string& programFolder, const FilePicker& pick)
      : form_(programFolder), pick_(pick) {}

  void Run(HWND owner) { RunModal(owner, KILN_IDD_MAKE_BIN, *this); }

  void Open(HWND dialog) { dialog_ = dialog; }

  INT_PTR Message(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    if (message != WM_COMMAND) return FALSE;
    Command(LOWORD(wParam));
    return TRUE;
  }

 private:
  void Browse(int index) {
    std::string path;
    const FilePick pick{"",
                        "*.*",
                        "",
                        kRows[index].filterName,
                        kRows[index].pattern,
                        form_.lastFolder,
                        index == tools::MakeBinForm::kOutput};
    if (!pick_(dialog_, pick, path)) return;
    SetControlText(dialog_, kRows[index].box, path);
    // A long path shows its end: the file's name.
    const HWND box = ::GetDlgItem(dialog_, kRows[index].box);
    ::SendMessageW(box, EM_SETSEL, static_cast<WPARAM>(::GetWindowTextLengthW(box)), -1);
    ::SendMessageW(box, EM_SCROLLCARET, 0, 0);
    form_.Choose(index, path);
  }

  void Combine() {
    for (int i = 0; i < 4; ++i) form_.paths[i] = ControlText(dialog_, kRows[i].box);
    ShowNotice(dialog_, tools::MakeBinForm::CombineNotice(form_.Combine()));
  }

  void Command(int id) {
    for (int i = 0; i < 4; ++i) {
      if (id == kRows[i].box + kBrowseOffset) Browse(i);
    }
    if (id == IDOK) Combine();
    if (id == IDCANCEL) ::EndDialog(dialog_, IDCANCEL);
  }

  tools::MakeBinForm form_;
  const FilePicker& pick_;
  HWND dialog_ = nullptr;
};

}  // namespace

void RunMakeBinDialog(HWND owner, const std::string& programFolder, const FilePicker& pick) {
  MakeBinDialog(programFolder, pick).Run(owner);
}

}  // namespace kiln::app::windows
