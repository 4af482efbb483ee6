// "Kiln Setting:" over SettingForm: the target model, write type, file names, update
// options and the colour-table list of one model entry.

#include "app/windows/dialogs/setting_dialog.h"

#include <vector>

#include "app/windows/dialogs/dialog_ids.h"
#include "app/windows/dialogs/dialog_support.h"
#include "app/windows/dialogs/modal_dialog.h"
#include "app/windows/dialogs/table_file_list.h"
#include "models/model_table.h"
#include "platform/windows/wide_text.h"
#include "tools/setting_form.h"

namespace kiln::app::windows {

namespace {

const wchar_t* const kWriteTypes[] = {L"Whole", L"Except Backup", L"CPU"};

class SettingDialog {
 public:
  SettingDialog(const config::ConfigFolder& folder, int entryIndex, const FilePicker& pick)
      : form_(folder, entryIndex), pick_(pick) {}

  bool Run(HWND owner) { return RunModal(owner, KILN_IDD_SETTING, *this) == IDOK; }

  INT_PTR Message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
      case WM_NOTIFY:
        return Notify(*reinterpret_cast<const NMHDR*>(lParam));
      case WM_DESTROY:
        closing_ = true;  // an editor ended by the closing reports nothing
        return FALSE;
      default:
        return FALSE;
    }
  }

  void Open(HWND dialog) {
    dialog_ = dialog;
    ::SetWindowTextW(dialog_, platform::windows::Wide(form_.Title()).c_str());
    const HWND model = ::GetDlgItem(dialog_, KILN_IDC_MODEL);
    for (uint32_t serial = 1; serial <= models::kModelCount; ++serial) {
      const std::wstring name = platform::windows::Wide(models::ModelBySerial(serial)->shortName);
      ::SendMessageW(model, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    for (const wchar_t* type : kWriteTypes) {
      ::SendDlgItemMessageW(dialog_, KILN_IDC_WRITE_TYPE, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(type));
    }
    const tools::SettingValues& values = form_.values;
    // No model chosen (-1) when the entry names none.
    ::SendMessageW(model, CB_SETCURSEL, static_cast<WPARAM>(values.modelSerial) - 1, 0);
    ::SendDlgItemMessageW(dialog_, KILN_IDC_WRITE_TYPE, CB_SETCURSEL,
                          static_cast<WPARAM>(values.writeType), 0);
    SetControlText(dialog_, KILN_IDC_FILE, values.file);
    SetControlText(dialog_, KILN_IDC_TABLE, values.tableName);
    SetControlText(dialog_, KILN_IDC_FW, values.firmwareName);
    SetChecked(dialog_, KILN_IDC_TABLE_SWITCH, values.tableSwitch);
    SetChecked(dialog_, KILN_IDC_NO_DOWNGRADE, values.noDowngrade);
    SetChecked(dialog_, KILN_IDC_NO_WAIT_BURN, values.noWaitBurnOk);
    SetChecked(dialog_, KILN_IDC_MODEL2, values.supportModel2);

    list_.Attach(
        ::GetDlgItem(dialog_, KILN_IDC_TABLE_LIST),
        {
            [this](int row, int column, const std::string& text) { CellEdited(row, column, text); },
            [this](int row) { RowDeleted(row); },
        });
    list_.AddColumns();
    for (const tools::TableRow& row : values.tables) {
      list_.AppendRow(row.fileName, row.version, row.description);
    }
    ApplyLayout();
    ApplyTableSwitch();
  }

 private:
  BOOL Notify(const NMHDR& header) {
    if (header.idFrom != KILN_IDC_TABLE_LIST && header.hwndFrom != list_.handle()) return FALSE;
    if (header.code == LVN_ENDLABELEDITW) {
      if (!closing_) list_.EndLabelEdit(reinterpret_cast<const NMLVDISPINFOW&>(header));
      ::SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, 0);  // the list has set the cell itself
      return TRUE;
    }
    return FALSE;
  }

  void CellEdited(int row, int column, const std::string& text) {
    std::vector<tools::TableRow>& tables = form_.values.tables;
    if (row < 0 || static_cast<std::size_t>(row) >= tables.size()) return;
    if (column == TableFileList::kFileNameColumn) tables[row].fileName = text;
    if (column == TableFileList::kDescriptionColumn) tables[row].description = text;
  }

  void RowDeleted(int row) {
    std::vector<tools::TableRow>& tables = form_.values.tables;
    if (row >= 0 && static_cast<std::size_t>(row) < tables.size())
      tables.erase(tables.begin() + row);
    ApplyTableSwitch();
  }

  uint32_t SelectedSerial() const {
    const LRESULT row = ::SendDlgItemMessageW(dialog_, KILN_IDC_MODEL, CB_GETCURSEL, 0, 0);
    return row < 0 ? 0 : static_cast<uint32_t>(row) + 1;
  }

  void ApplyLayout() {
    const uint32_t serial = SelectedSerial();
    const bool codeLayout = tools::EntryForm::CodeLayout(serial);
    ::SetDlgItemTextW(dialog_, KILN_IDC_FILE_LABEL, codeLayout ? L"Code name:" : L"File name:");
    ShowControls(dialog_, {KILN_IDC_WRITE_TYPE_LABEL, KILN_IDC_WRITE_TYPE}, !codeLayout);
    ShowControls(dialog_,
                 {KILN_IDC_TABLE_LABEL, KILN_IDC_TABLE, KILN_IDC_TABLE_BROWSE, KILN_IDC_FW_LABEL,
                  KILN_IDC_FW, KILN_IDC_FW_BROWSE},
                 codeLayout);
    ShowControls(dialog_, {KILN_IDC_MODEL2}, form_.OffersModel2(serial));
  }

  void ApplyTableSwitch() {
    const bool on = Checked(dialog_, KILN_IDC_TABLE_SWITCH);
    EnableControls(dialog_, {KILN_IDC_ADD_TABLE}, on && !form_.TableListFull());
    EnableControls(dialog_, {KILN_IDC_MAKE_BIN, KILN_IDC_TABLE_LIST}, on);
  }

  void TakeValues() {
    tools::SettingValues& values = form_.values;
    values.modelSerial = SelectedSerial();
    values.writeType =
        static_cast<int>(::SendDlgItemMessageW(dialog_, KILN_IDC_WRITE_TYPE, CB_GETCURSEL, 0, 0));
    values.file = ControlText(dialog_, KILN_IDC_FILE);
    values.tableName = ControlText(dialog_, KILN_IDC_TABLE);
    values.firmwareName = ControlText(dialog_, KILN_IDC_FW);
    values.tableSwitch = Checked(dialog_, KILN_IDC_TABLE_SWITCH);
    values.noDowngrade = Checked(dialog_, KILN_IDC_NO_DOWNGRADE);
    values.noWaitBurnOk = Checked(dialog_, KILN_IDC_NO_WAIT_BURN);
    values.supportModel2 = Checked(dialog_, KILN_IDC_MODEL2);
  }

  void Browse(int boxId) {
    std::string path;
    const FilePick pick{"Select FW File:", "*.bin", "",
                        "BIN(*.bin)",      "*.bin", form_.folder().folder};
    if (!pick_(dialog_, pick, path)) return;
    if (!AcceptChosenFile(dialog_, path, form_.folder().folder, false)) return;
    SetControlText(dialog_, boxId, tools::ChosenFileName(path));
  }

  void AddTableFile() {
    if (form_.TableListFull()) {
      ShowNotice(dialog_, form_.ListFullNotice());
      return;
    }
    std::string path;
    const FilePick pick{"Select FW File",  "*.bin", "test.bin",
                        "BIN File(*.bin)", "*.bin", form_.folder().folder};
    if (!pick_(dialog_, pick, path)) return;
    const std::string& folder = form_.folder().folder;
    switch (form_.AddTable(path)) {
      case tools::AddTableResult::kAdded: {
        const tools::TableRow& row = form_.values.tables.back();
        list_.AppendRow(row.fileName, row.version, row.description);
        break;
      }
      case tools::AddTableResult::kListFull:
        ShowNotice(dialog_, form_.ListFullNotice());
        break;
      case tools::AddTableResult::kOutsideFolder:
        ShowNotice(dialog_,
                   tools::ChosenFileNotice(tools::ChosenFile::kOutsideFolder, path, folder));
        break;
      case tools::AddTableResult::kCommaInName:
        ShowNotice(dialog_, tools::ChosenFileNotice(tools::ChosenFile::kCommaInName, path, folder));
        break;
    }
    ApplyTableSwitch();
  }

  void Ok() {
    list_.CommitOpenEditor();
    TakeValues();
    if (const int row = form_.RowWithComma(); row >= 0) {
      ListView_SetItemState(list_.handle(), row, LVIS_SELECTED | LVIS_FOCUSED,
                            LVIS_SELECTED | LVIS_FOCUSED);
      ShowNotice(dialog_, tools::SettingForm::CommaNotice(row));
      return;
    }
    if (!ReportSave(dialog_, form_.Save(), form_.folder().iniPath)) return;
    list_.DeleteAllRows();
    ::EndDialog(dialog_, IDOK);
  }

  void Command(int id, int code) {
    switch (id) {
      case KILN_IDC_MODEL:
        if (code == CBN_SELCHANGE) ApplyLayout();
        break;
      case KILN_IDC_FILE_BROWSE:
        Browse(KILN_IDC_FILE);
        break;
      case KILN_IDC_TABLE_BROWSE:
        Browse(KILN_IDC_TABLE);
        break;
      case KILN_IDC_FW_BROWSE:
        Browse(KILN_IDC_FW);
        break;
      case KILN_IDC_TABLE_SWITCH:
        ApplyTableSwitch();
        break;
      case KILN_IDC_ADD_TABLE:
        AddTableFile();
        break;
      case KILN_IDC_MAKE_BIN:
        RunMakeBinDialog(dialog_, form_.folder().folder, pick_);
        break;
      case KILN_IDC_MODEL2:
        if (code == BN_CLICKED && Checked(dialog_, KILN_IDC_MODEL2)) {
          RunSettingDialog(dialog_, form_.folder(), form_.entryIndex() + 1, pick_);
        }
        break;
      case IDOK:
        Ok();
        break;
      case IDCANCEL:
        ::EndDialog(dialog_, IDCANCEL);
        break;
      default:
        break;
    }
  }

  tools::SettingForm form_;
  const FilePicker& pick_;
  HWND dialog_ = nullptr;
  TableFileList list_;
  bool closing_ = false;
};

}  // namespace

bool RunSettingDialog(HWND owner, const config::ConfigFolder& folder, int entryIndex,
                      const FilePicker& pick) {
  return SettingDialog(folder, entryIndex, pick).Run(owner);
}

}  // namespace kiln::app::windows
