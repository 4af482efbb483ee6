// "Advance Settings:" over AdvancedSettingForm: the CPU-firmware-first option with its
// files, five option flags and the two programming delays of one model entry.

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include "app/windows/dialogs/dialog_ids.h"
#include "app/windows/dialogs/dialog_support.h"
#include "app/windows/dialogs/modal_dialog.h"
#include "app/windows/dialogs/setting_dialog.h"
#include "tools/advanced_setting_form.h"

namespace kiln::app::windows {

namespace {

struct OptionBox {
  int id;
  bool tools::AdvancedValues::*option;
};

constexpr OptionBox kOptions[] = {
    {KILN_IDC_CPU_FIRST, &tools::AdvancedValues::cpuFirst},
    {KILN_IDC_SHOW_COUNTDOWN, &tools::AdvancedValues::showCountdown},
    {KILN_IDC_NO_CHECK_PID, &tools::AdvancedValues::noCheckPid},
    {KILN_IDC_NO_CHECK_DRIVER, &tools::AdvancedValues::noCheckDriver},
    {KILN_IDC_NO_WAIT_BUSY, &tools::AdvancedValues::noWaitBusyBeforeWrite},
    {KILN_IDC_NO_BUSY_AT_START, &tools::AdvancedValues::noBusyCheckAtStartup},
};

// The CPU file rows: box, "..." button and the title of its file choice.
struct CpuRow {
  int box, browse;
  const char* title;
  std::string tools::AdvancedValues::*name;
};

const CpuRow kCpuRows[] = {
    {KILN_IDC_CPU_FILE, KILN_IDC_CPU_FILE_BROWSE, "Select CPU FW File",
     &tools::AdvancedValues::cpuFile},
    {KILN_IDC_CPU_TABLE, KILN_IDC_CPU_TABLE_BROWSE, "Select Table File",
     &tools::AdvancedValues::cpuTable},
    {KILN_IDC_CPU_CODE, KILN_IDC_CPU_CODE_BROWSE, "Select FW code File",
     &tools::AdvancedValues::cpuCode},
};

class AdvancedSettingDialog {
 public:
  AdvancedSettingDialog(const config::ConfigFolder& folder, int entryIndex, const FilePicker& pick)
      : form_(folder, entryIndex), pick_(pick) {}

  bool Run(HWND owner) { return RunModal(owner, KILN_IDD_ADVANCED, *this) == IDOK; }

  INT_PTR Message(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    if (message != WM_COMMAND) return FALSE;
    Command(LOWORD(wParam));
    return TRUE;
  }

  void Open(HWND dialog) {
    dialog_ = dialog;
    const bool codeLayout = tools::EntryForm::CodeLayout(form_.modelSerial());
    ::SetDlgItemTextW(dialog_, KILN_IDC_FILE_LABEL, codeLayout ? L"Code name:" : L"File name:");
    ShowControls(dialog_,
                 {KILN_IDC_TABLE_LABEL, KILN_IDC_CPU_TABLE, KILN_IDC_CPU_TABLE_BROWSE,
                  KILN_IDC_FW_LABEL, KILN_IDC_CPU_CODE, KILN_IDC_CPU_CODE_BROWSE},
                 codeLayout);
    const tools::AdvancedValues& values = form_.values;
    for (const OptionBox& box : kOptions) SetChecked(dialog_, box.id, values.*box.option);
    for (const CpuRow& row : kCpuRows) SetControlText(dialog_, row.box, values.*row.name);
    ShowDelay(KILN_IDC_CPU_DELAY_SPIN, KILN_IDC_CPU_DELAY, values.cpuDelay);
    ShowDelay(KILN_IDC_FW_DELAY_SPIN, KILN_IDC_FW_DELAY, values.firmwareDelay);
    ApplyCpuFirst();
  }

 private:
  // The spin steps within the delay range from the delay shown.
  void ShowDelay(int spinId, int boxId, const std::string& delay) {
    const HWND spin = ::GetDlgItem(dialog_, spinId);
    ::SendMessageW(spin, UDM_SETRANGE32, tools::kShortestDelaySeconds, tools::kLongestDelaySeconds);
    uint16_t seconds = 0;
    if (tools::TakeDelay(delay, seconds) == tools::DelayCheck::kTaken) {
      ::SendMessageW(spin, UDM_SETPOS32, 0, seconds);
    }
    SetControlText(dialog_, boxId, delay);
  }

  void ApplyCpuFirst() {
    const bool on = Checked(dialog_, KILN_IDC_CPU_FIRST);
    for (const CpuRow& row : kCpuRows) EnableControls(dialog_, {row.box, row.browse}, on);
  }

  void TakeValues() {
    tools::AdvancedValues& values = form_.values;
    for (const OptionBox& box : kOptions) values.*box.option = Checked(dialog_, box.id);
    for (const CpuRow& row : kCpuRows) values.*row.name = ControlText(dialog_, row.box);
    values.cpuDelay = ControlText(dialog_, KILN_IDC_CPU_DELAY);
    values.firmwareDelay = ControlText(dialog_, KILN_IDC_FW_DELAY);
  }

  // Takes the values; a delay that cannot be taken is told and gets the focus.
  bool TakeDelays() {
    TakeValues();
    const tools::AdvancedSettingForm::DelayProblem problem = form_.CheckDelays();
    if (problem.check == tools::DelayCheck::kTaken) return true;
    ShowNotice(dialog_, tools::AdvancedSettingForm::DelayNotice(problem.check));
    const HWND box = ::GetDlgItem(dialog_, problem.delay == tools::AdvancedSettingForm::Delay::kCpu
                                               ? KILN_IDC_CPU_DELAY
                                               : KILN_IDC_FW_DELAY);
    ::SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(box), TRUE);
    ::SendMessageW(box, EM_SETSEL, 0, -1);
    return false;
  }

  void Browse(const CpuRow& row) {
    std::string path;
    const FilePick pick{
        row.title, "*.bin", "test.bin", "CPU BIN File(*.bin)", "*.bin", form_.folder().folder};
    if (!pick_(dialog_, pick, path)) return;
    if (!AcceptChosenFile(dialog_, path, form_.folder().folder, false)) return;
    SetControlText(dialog_, row.box, tools::ChosenFileName(path));
  }

  void Command(int id) {
    if (id == KILN_IDC_CPU_FIRST) {
      TakeDelays();  // its message only: the rows follow the box anyway
      ApplyCpuFirst();
      return;
    }
    for (const CpuRow& row : kCpuRows) {
      if (id == row.browse) Browse(row);
    }
    if (id == IDOK) {
      if (!TakeDelays()) return;
      if (!ReportSave(dialog_, form_.Save(), form_.folder().iniPath)) return;
      ::EndDialog(dialog_, IDOK);
    } else if (id == IDCANCEL) {
      ::EndDialog(dialog_, IDCANCEL);
    }
  }

  tools::AdvancedSettingForm form_;
  const FilePicker& pick_;
  HWND dialog_ = nullptr;
};

}  // namespace

bool RunAdvancedSettingsDialog(HWND owner, const config::ConfigFolder& folder, int entryIndex,
                               const FilePicker& pick) {
  return AdvancedSettingDialog(folder, entryIndex, pick).Run(owner);
}

}  // namespace kiln::app::windows
