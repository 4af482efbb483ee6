#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "tools/entry_form.h"

// What every native dialog needs to bind its controls to a form: control texts in
// UTF-8 (the forms' text) through the wide calls, and the form's messages in boxes.
namespace kiln::app::windows {

std::string ControlText(HWND dialog, int id);
void SetControlText(HWND dialog, int id, std::string_view utf8);
bool Checked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
void ShowControls(HWND dialog, std::initializer_list<int> ids, bool shown);
void EnableControls(HWND dialog, std::initializer_list<int> ids, bool enabled);

void ShowNotice(HWND owner, const tools::Notice& notice);

// True when the save succeeded; otherwise tells the user once why the write failed (a
// check that failed has told its own) and returns false, so that the dialog stays open
// with everything the user entered.
bool ReportSave(HWND owner, tools::SaveOutcome outcome, const std::string& iniPath);

// True when the chosen file may be named in Kiln.ini; otherwise says why not.
bool AcceptChosenFile(HWND owner, const std::string& chosenPath, const std::string& programFolder,
                      bool tableFile);

// Registers the common controls the dialogs use (list view, spin); repeated calls are
// harmless.
void UseCommonControls();

}  // namespace kiln::app::windows
