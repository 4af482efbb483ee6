// The native dialogs under Wine on a virtual display: each opened alone by the test host
// (kiln_dialog_host), driven from this process by control id and keys.

#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/windows/dialogs/dialog_ids.h"
#include "support/fake_clock.h"
#include "support/program_folder_builder.h"
#include "support/temp_dir.h"
#include "tools/setting_form.h"
#include "tools/table_file.h"
#include "window_driver.h"
#include "windows_process.h"

namespace kiln::testing {
namespace {

using platform::windows::Wide;

// Starts the host on dialog over folder, with the file choices it will be given.
ChildProcess StartHost(const std::string& arguments, const std::vector<std::string>& picks = {}) {
  std::string line = "\"" + WindowsPath(KILN_DIALOG_HOST) + "\" " + arguments;
  for (const std::string& pick : picks) line += " --pick \"" + pick + "\"";
  return ChildProcess(line);
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

void Screenshot(HWND window, const std::string& name) {
  EXPECT_TRUE(ScreenshotForReview(window, name)) << name;
}

// A visible dialog-class window of another process (the host's, or a message box it
// shows); the tests run one host at a time.
HWND HostDialog() {
  HWND found = nullptr;
  for (HWND w = ::FindWindowW(L"#32770", nullptr); w != nullptr;
       w = ::FindWindowExW(nullptr, w, L"#32770", nullptr)) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    if (pid != ::GetCurrentProcessId() && ::IsWindowVisible(w)) found = w;
  }
  return found;
}

// The host's dialog titled title (any title when empty), once it shows.
HWND FindDialog(const std::string& title = {}) {
  HWND found = nullptr;
  WaitUntil([&] {
    found = title.empty() ? HostDialog() : FindTopWindow(0, title);
    return found != nullptr;
  });
  // Keys go to the foreground window: the dialog must be it before a test types.
  if (found != nullptr &&
      !WaitUntil([&] { return ::GetForegroundWindow() == found; }, std::chrono::seconds(3))) {
    ::SetForegroundWindow(found);
    WaitUntil([&] { return ::GetForegroundWindow() == found; }, std::chrono::seconds(3));
  }
  return found;
}

// The host's last line: "result ok", "result cancel" or "selection N". A host whose
// dialog does not close is ended, so that the test fails instead of hanging.
std::string Outcome(ChildProcess& host) {
  if (!WaitUntil([] { return HostDialog() == nullptr; }, std::chrono::seconds(20))) {
    for (HWND left = HostDialog(); left != nullptr; left = HostDialog()) {
      DWORD pid = 0;
      ::GetWindowThreadProcessId(left, &pid);
      const HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
      if (process == nullptr) break;
      ::TerminateProcess(process, 99);
      ::WaitForSingleObject(process, 5000);
      ::CloseHandle(process);
    }
  }
  const std::optional<Finished> finished = host.Wait();
  if (!finished) return "<still running>";
  std::string out = finished->out;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// Answers a message box with OK; its text.
std::string AnswerBox(const std::string& title) {
  const HWND box = FindDialog(title);
  if (box == nullptr) return "<no box>";
  std::string text;
  for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    text += TextOf(child) + "|";
  }
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  WaitUntil([&] { return ::IsWindow(box) == FALSE; });
  return text;
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

// Types text into the focused control of the foreground window.
void Type(const std::string& text) {
  std::vector<INPUT> inputs;
  for (const wchar_t c : Wide(text)) {
    for (const DWORD up : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
      INPUT input{};
      input.type = INPUT_KEYBOARD;
      input.ki.wScan = c;
      input.ki.dwFlags = KEYEVENTF_UNICODE | up;
      inputs.push_back(input);
    }
  }
  ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void PressWithControl(WORD key) {
  INPUT inputs[4] = {};
  const WORD keys[4] = {VK_CONTROL, key, key, VK_CONTROL};
  for (int i = 0; i < 4; ++i) {
    inputs[i].type = INPUT_KEYBOARD;
    inputs[i].ki.wVk = keys[i];
    inputs[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
  }
  ::SendInput(4, inputs, sizeof(INPUT));
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result);
  return static_cast<LRESULT>(result);
}

HWND CellEditorOf(const DialogDriver& dialog) {
  HWND editor = nullptr;
  WaitUntil([&] {
    return (editor = ::GetDlgItem(dialog.Control(KILN_IDC_TABLE_LIST), 1001)) != nullptr;
  });
  return editor;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An entry with two colour tables, and the same Kiln.ini in a second folder on which
// the Setting form itself makes the edit a test makes in the dialog.
struct TwoFolders {
  TempDir dialogDir, formDir;
  std::string ini;

  TwoFolders() {
    ProgramFolderBuilder builder(dialogDir);
    builder.Section("ger", {"; kept as it is", "Ready=Bereit"})
        .Entry(1, {"Model=M07", "File=old.bin", "WriteType=1", "EnableTableSwitch=1",
                   "TableFile1=t1.bin,Mode one", "TableFile2=t2.bin,Mode two", "Delay2=7"});
    ini = builder.ini();
    formDir.Write("Kiln.ini", ini);
  }
  std::string Written() const { return TempDir::Read(dialogDir.File("Kiln.ini")); }
  // What the Setting form writes after edit, on the second folder.
  template <typename Edit>
  std::string FormWrites(Edit edit) const {
    FakeClock clock;
    tools::SettingForm form(config::ConfigFolder::At(formDir.path().string()), 1, clock);
    edit(form.values);
    EXPECT_EQ(form.Save(), tools::SaveOutcome::kSaved);
    return TempDir::Read(formDir.File("Kiln.ini"));
  }
};

// The host's Setting dialog over the first of folders.
struct SettingHost {
  explicit SettingHost(const TwoFolders& folders)
      : host(StartHost("setting " + Quoted(folders.dialogDir.path().string()))),
        dialog(FindDialog("Kiln Setting:")) {}
  ChildProcess host;
  DialogDriver dialog;
};

TEST(SettingDialog, OkWritesWhatTheFormWritesAndCancelWritesNothing) {
  TwoFolders folders;
  SettingHost setting(folders);
  ChildProcess& host = setting.host;
  const DialogDriver& dialog = setting.dialog;
  ASSERT_TRUE(dialog.found());
  EXPECT_EQ(dialog.Text(KILN_IDC_FILE), "old.bin");
  EXPECT_EQ(dialog.Text(KILN_IDC_FILE_LABEL), "File name:");
  EXPECT_FALSE(dialog.Visible(KILN_IDC_TABLE)) << "M07 has the file layout";
  EXPECT_EQ(Ask(dialog.Control(KILN_IDC_TABLE_LIST), LVM_GETITEMCOUNT), 2);
  Screenshot(dialog.handle(), "setting");
  dialog.SetText(KILN_IDC_FILE, "new.bin");
  Ask(dialog.Control(KILN_IDC_MODEL), CB_SETCURSEL, 0);  // the first model, M01
  dialog.Click(KILN_IDC_NO_DOWNGRADE);
  WaitUntil([&] { return Ask(dialog.Control(KILN_IDC_NO_DOWNGRADE), BM_GETCHECK) != 0; });
  dialog.Click(IDOK);
  EXPECT_EQ(Outcome(host), "result ok");
  EXPECT_EQ(folders.Written(), folders.FormWrites([](tools::SettingValues& values) {
    values.file = "new.bin";
    values.modelSerial = 1;
    values.noDowngrade = true;
  }));

  // Esc is Cancel: nothing is written.
  const std::string saved = folders.Written();
  ChildProcess again = StartHost("setting " + Quoted(folders.dialogDir.path().string()));
  ASSERT_TRUE(DialogDriver(FindDialog("Kiln Setting:")).found());
  PressKey(VK_ESCAPE);
  EXPECT_EQ(Outcome(again), "result cancel");
  EXPECT_EQ(folders.Written(), saved);
}

TEST(SettingDialog, TheModel2BoxOpensTheSettingOfEntry2) {
  TempDir dir;
  ProgramFolderBuilder(dir).Entry(1, {"Model=M09"}).Entry(2, {"Model=M09", "File=second.bin"});
  ChildProcess host = StartHost("setting " + Quoted(dir.path().string()));
  DialogDriver first(FindDialog("Kiln Setting:"));
  ASSERT_TRUE(first.found());
  ASSERT_TRUE(first.Visible(KILN_IDC_MODEL2));
  first.Click(KILN_IDC_MODEL2);
  DialogDriver second(FindDialog("Kiln Setting for model 2:"));
  ASSERT_TRUE(second.found());
  EXPECT_EQ(second.Text(KILN_IDC_FILE), "second.bin");
  EXPECT_FALSE(second.Visible(KILN_IDC_MODEL2));
  second.Click(IDCANCEL);
  EXPECT_TRUE(WaitUntil([&] { return !second.Exists(); }));
  first.Click(IDCANCEL);
  EXPECT_EQ(Outcome(host), "result cancel");
}

TEST(SettingDialog, TheShippedFileChoiceIsTheSystemsFileDialog) {
  TwoFolders folders;
  ChildProcess host =
      StartHost("setting " + Quoted(folders.dialogDir.path().string()) + " --system-picker");
  DialogDriver dialog(FindDialog("Kiln Setting:"));
  ASSERT_TRUE(dialog.found());
  dialog.Click(KILN_IDC_FILE_BROWSE);
  const HWND files = FindDialog("Select FW File:");
  ASSERT_NE(files, nullptr);
  ::PostMessageW(files, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(WaitUntil([&] { return ::IsWindow(files) == FALSE; }));
  EXPECT_EQ(dialog.Text(KILN_IDC_FILE), "old.bin") << "a cancelled choice changes nothing";
  dialog.Click(IDCANCEL);
  EXPECT_EQ(Outcome(host), "result cancel");
}

TEST(SettingDialog, AnInPlaceEditOfADescriptionLandsInWhatOkWrites) {
  TwoFolders folders;
  SettingHost setting(folders);
  ChildProcess& host = setting.host;
  const DialogDriver& dialog = setting.dialog;
  ASSERT_TRUE(dialog.found());
  const HWND list = dialog.Control(KILN_IDC_TABLE_LIST);
  RECT header{};
  ::GetClientRect(reinterpret_cast<HWND>(Ask(list, LVM_GETHEADER)), &header);
  RECT client{};
  ::GetClientRect(list, &client);
  const LRESULT nameWidth = Ask(list, LVM_GETCOLUMNWIDTH, 0);
  const LRESULT versionWidth = Ask(list, LVM_GETCOLUMNWIDTH, 1);
  EXPECT_EQ(nameWidth, 150);
  EXPECT_EQ(nameWidth + versionWidth + Ask(list, LVM_GETCOLUMNWIDTH, 2), client.right)
      << "the description fills the list";

  // A Description column narrower than 5 pixels cannot be edited; one of 5 can.
  const auto ClickDescription = [&] {
    const LPARAM at = MAKELPARAM(nameWidth + versionWidth + 2, header.bottom + 4);
    ::PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(list, WM_LBUTTONUP, 0, at);
  };
  Ask(list, LVM_SETCOLUMNWIDTH, 2, 4);
  ClickDescription();
  ::Sleep(500);
  EXPECT_EQ(::GetDlgItem(list, 1001), nullptr);
  Ask(list, LVM_SETCOLUMNWIDTH, 2, 5);
  ClickDescription();
  ASSERT_NE(CellEditorOf(dialog), nullptr);
  RECT narrow{};
  ::GetWindowRect(CellEditorOf(dialog), &narrow);
  EXPECT_EQ(narrow.right - narrow.left, 5 - 3) << "4 pixels in from the cell, 3 short of its end";
  PressKey(VK_ESCAPE);  // ends the edit, the cell as it was
  EXPECT_TRUE(WaitUntil([&] { return ::GetDlgItem(list, 1001) == nullptr; }));
  Ask(list, LVM_SETCOLUMNWIDTH, 2, LVSCW_AUTOSIZE_USEHEADER);
  // A click on the first row's Description cell, the last column, which fills the list.
  const LPARAM cell = MAKELPARAM(client.right - 20, header.bottom + 4);
  ::PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, cell);
  ::PostMessageW(list, WM_LBUTTONUP, 0, cell);
  const HWND editor = CellEditorOf(dialog);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(TextOf(editor), "Mode one");
  Type("Vivid, bright");
  WaitUntil([&] { return TextOf(editor) == "Vivid, bright"; });
  Screenshot(dialog.handle(), "setting-table-list-editing");
  PressKey(VK_RETURN);  // ends the edit; OK is not pressed
  EXPECT_TRUE(WaitUntil([&] { return ::IsWindow(editor) == FALSE; }));
  EXPECT_TRUE(dialog.Exists());
  dialog.Click(IDOK);
  EXPECT_EQ(Outcome(host), "result ok");
  EXPECT_EQ(folders.Written(), folders.FormWrites([](tools::SettingValues& values) {
    values.tables[0].description = "Vivid, bright";
  }));
}

TEST(KeyboardOnly, EveryDialogIsUsedWithoutAMouse) {
  TwoFolders folders;
  const std::string folder = Quoted(folders.dialogDir.path().string());
  {  // Setting: Tab reaches the list, F2 opens its first row, Tab walks to the Description.
    ChildProcess host = StartHost("setting " + folder);
    DialogDriver dialog(FindDialog("Kiln Setting:"));
    ASSERT_TRUE(dialog.found());
    const HWND list = dialog.Control(KILN_IDC_TABLE_LIST);
    for (int presses = 0; presses < 20 && FocusOf(dialog.handle()) != list; ++presses) {
      PressKey(VK_TAB);
      WaitUntil([] { return false; }, std::chrono::milliseconds(50));
    }
    ASSERT_EQ(FocusOf(dialog.handle()), list);
    PressKey(VK_F2);
    HWND editor = CellEditorOf(dialog);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(TextOf(editor), "t1.bin");
    PressKey(VK_TAB);
    PressKey(VK_TAB);
    ASSERT_TRUE(WaitUntil([&] {
      editor = ::GetDlgItem(list, 1001);
      return editor != nullptr && TextOf(editor) == "Mode one";
    }));
    // Down moves the editor a row; Home alone moves the caret, Control+Home to the top.
    PressKey(VK_DOWN);
    ASSERT_TRUE(WaitUntil([&] {
      editor = ::GetDlgItem(list, 1001);
      return editor != nullptr && TextOf(editor) == "Mode two";
    }));
    PressKey(VK_HOME);
    Type("X");
    EXPECT_TRUE(WaitUntil([&] { return TextOf(::GetDlgItem(list, 1001)) == "XMode two"; }));
    PressWithControl(VK_HOME);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(::GetDlgItem(list, 1001)) == "Mode one"; }));
    Type("Typed");
    PressKey(VK_RETURN);  // ends the edit
    EXPECT_TRUE(WaitUntil([&] { return ::GetDlgItem(list, 1001) == nullptr; }));
    PressKey(VK_DOWN);
    PressKey(VK_DELETE);  // the second row goes
    EXPECT_TRUE(WaitUntil([&] { return Ask(list, LVM_GETITEMCOUNT) == 1; }));
    PressKey(VK_RETURN);  // OK
    EXPECT_EQ(Outcome(host), "result ok");
    const std::string written = folders.Written();
    EXPECT_NE(written.find("TableFile1=t1.bin,Typed\n"), std::string::npos) << written;
    EXPECT_EQ(written.find("TableFile2"), std::string::npos) << written;
  }
  {  // Advance Settings: Space on the first box, Enter for OK.
    ChildProcess host = StartHost("advanced " + folder + " 1");
    DialogDriver dialog(FindDialog("Advance Settings:"));
    ASSERT_TRUE(dialog.found());
    EXPECT_EQ(dialog.Text(KILN_IDC_FW_DELAY), "7");
    Screenshot(dialog.handle(), "advanced-settings");
    PressKey(VK_SPACE);
    EXPECT_TRUE(WaitUntil([&] { return dialog.Enabled(KILN_IDC_CPU_FILE); }));
    PressKey(VK_RETURN);
    EXPECT_EQ(Outcome(host), "result ok");
    EXPECT_NE(folders.Written().find("Cpu1st=1\n"), std::string::npos);
  }
  {  // Make BIN: Esc is Exit.
    ChildProcess host = StartHost("make-bin " + folder);
    ASSERT_TRUE(DialogDriver(FindDialog("Make BIN:")).found());
    PressKey(VK_ESCAPE);
    EXPECT_EQ(Outcome(host), "result cancel");
  }
}

TEST(AdvancedSettingsDialog, ADelayOutOfRangeIsToldAndNothingIsWritten) {
  TwoFolders folders;
  ChildProcess host = StartHost("advanced " + Quoted(folders.dialogDir.path().string()) + " 1");
  DialogDriver dialog(FindDialog("Advance Settings:"));
  ASSERT_TRUE(dialog.found());
  dialog.SetText(KILN_IDC_CPU_DELAY, "1500");
  dialog.Click(IDOK);
  EXPECT_NE(AnswerBox("Kiln").find("between 0 and 1000"), std::string::npos);
  EXPECT_TRUE(dialog.Exists());
  // The box refused has the focus, its text selected for retyping.
  const HWND box = dialog.Control(KILN_IDC_CPU_DELAY);
  EXPECT_TRUE(WaitUntil([&] { return FocusOf(dialog.handle()) == box; }));
  EXPECT_EQ(Ask(box, EM_GETSEL), MAKELONG(0, 4));
  EXPECT_EQ(folders.Written(), folders.ini);
  dialog.Click(IDCANCEL);
  EXPECT_EQ(Outcome(host), "result cancel");
}

TEST(MakeBinDialog, CombineWritesTheTableFileTheCombinerMakes) {
  TempDir dir;
  const std::string cvd = dir.Write("cvd.dat", std::string(100, '\x11'));
  const std::string heating = dir.Write("heat.bin", std::string(300, '\x22'));
  std::string colourTable(0x4000, '\x33');
  colourTable.replace(0x3FF8, 7, "V1.2.3a");
  const std::string colour = dir.Write("colour.dat", colourTable);
  const std::string output = dir.File("out.bin");
  ChildProcess host =
      StartHost("make-bin " + Quoted(dir.path().string()), {cvd, heating, colour, output});
  DialogDriver dialog(FindDialog("Make BIN:"));
  ASSERT_TRUE(dialog.found());
  for (int box = KILN_IDC_CVD; box <= KILN_IDC_OUTPUT; ++box) {
    dialog.Click(box + 4);
    EXPECT_TRUE(WaitUntil([&] { return !dialog.Text(box).empty(); })) << box;
  }
  EXPECT_EQ(dialog.Text(KILN_IDC_OUTPUT), output);
  Screenshot(dialog.handle(), "make-bin");
  dialog.Click(IDOK);
  EXPECT_NE(AnswerBox("Make BIN file:").find("Combine OK!"), std::string::npos);
  EXPECT_TRUE(dialog.Exists()) << "the tool stays open after a combine";
  dialog.Click(IDCANCEL);
  EXPECT_EQ(Outcome(host), "result cancel");

  ASSERT_EQ(tools::CombineTableFile({cvd, heating, colour}, dir.File("expected.bin")).error,
            tools::CombineError::kNone);
  const std::string made = TempDir::Read(output);
  EXPECT_EQ(made.size(), tools::kTableFileSize);
  EXPECT_EQ(made, TempDir::Read(dir.File("expected.bin")));
}

// Three colour tables with descriptions, and a German section in its code page (1252).
void ColourTables(const TempDir& dir) {
  ProgramFolderBuilder(dir)
      .Entry(1, {"Model=M01", "TableFile1=t1.bin,Standard", "TableFile2=t2.bin,Vivid",
                 "TableFile3=t3.bin,Soft", "ColorModeDesc1=Everyday prints",
                 "ColorModeDesc2=Strong colours", "ColorModeDesc3=Portraits"})
      .Section("ger", {"Change Color Mode=Farbmodus \xE4ndern",
                       "Current mode:=Aktueller Modus:", "Change Mode To:=Wechseln zu:",
                       "Description:=Beschreibung:", "Cancel=Abbrechen", "Vivid=Lebhaft",
                       "Strong colours=Kr\xE4"
                       "ftige Farben"})
      .File("t2.bin", std::string(32, '\0').replace(32 - 8, 7, "TAB0002"));
}

TEST(ColourModeDialog, TheChosenRowIsReturnedWithTheLanguageTextsShown) {
  TempDir dir;
  ColourTables(dir);
  const std::string folder = Quoted(dir.path().string());
  {
    ChildProcess host = StartHost("colour-mode " + folder + " \"Photo mode\" ger");
    DialogDriver dialog(FindDialog("Farbmodus \xC3\xA4ndern"));
    ASSERT_TRUE(dialog.found());
    EXPECT_EQ(dialog.Text(KILN_IDC_MODE_CURRENT), "Photo mode");
    EXPECT_EQ(dialog.Text(IDCANCEL), "Abbrechen");
    EXPECT_EQ(Ask(dialog.Control(KILN_IDC_MODE_TABLES), CB_GETCOUNT), 3);
    EXPECT_EQ(dialog.Text(KILN_IDC_MODE_DESCRIPTION), "Everyday prints");
    PressKey(VK_DOWN);  // the list has the focus
    EXPECT_TRUE(dialog.WaitForText(KILN_IDC_MODE_DESCRIPTION,
                                   "Kr\xC3\xA4"
                                   "ftige Farben"));
    EXPECT_EQ(dialog.Text(KILN_IDC_MODE_TABLES), "Lebhaft  (TAB0002)");
    Screenshot(dialog.handle(), "colour-mode-de");
    PressKey(VK_RETURN);
    EXPECT_EQ(Outcome(host), "selection 2");
  }
  {
    ChildProcess host = StartHost("colour-mode " + folder + " N/A eng");
    DialogDriver dialog(FindDialog("Change Color Mode"));
    ASSERT_TRUE(dialog.found());
    EXPECT_EQ(dialog.Text(KILN_IDC_MODE_TABLES), "Standard  ()");
    Screenshot(dialog.handle(), "colour-mode-en");
    PressKey(VK_ESCAPE);
    EXPECT_EQ(Outcome(host), "selection 0");
  }
}

TEST(ColourModeDialog, InvalidLanguageBytesShowWhatCanBeReadAndNothingElse) {
  TempDir dir;
  // Shift_JIS cut after a lead byte, and bytes no code page reads.
  ProgramFolderBuilder(dir)
      .Entry(1, {"Model=M01", "TableFile1=t1.bin,Mode\x82", "ColorModeDesc1=Desc\xFF\xFE\x81"})
      .Section("jpn", {"Current mode:=Now\x82", "Mode\x82=Mode \x81\x7F end"});
  ChildProcess host = StartHost("colour-mode " + Quoted(dir.path().string()) + " N/A jpn");
  DialogDriver dialog(FindDialog("Change Color Mode"));
  ASSERT_TRUE(dialog.found());
  EXPECT_EQ(dialog.Text(KILN_IDC_MODE_CURRENT), "N/A");
  EXPECT_EQ(dialog.Text(KILN_IDC_MODE_DESCRIPTION).rfind("Desc", 0), 0u);
  EXPECT_EQ(dialog.Text(KILN_IDC_MODE_TABLES).rfind("Mode ", 0), 0u);
  EXPECT_NE(dialog.Text(KILN_IDC_MODE_TABLES).find("end  ()"), std::string::npos);
  PressKey(VK_RETURN);
  EXPECT_EQ(Outcome(host), "selection 1");
}

TEST(SettingDialog, KilnIniHeldOpenOnOkIsToldAndKeptUntilItCanBeWritten) {
  TwoFolders folders;
  SettingHost setting(folders);
  ChildProcess& host = setting.host;
  const DialogDriver& dialog = setting.dialog;
  ASSERT_TRUE(dialog.found());
  dialog.SetText(KILN_IDC_FILE, "new.bin");
  HANDLE held =
      ::CreateFileW(Wide(folders.dialogDir.File("Kiln.ini")).c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  dialog.Click(IDOK);
  const std::string box = AnswerBox("Save Error");
  ::CloseHandle(held);
  EXPECT_NE(box.find("Nothing was changed"), std::string::npos) << box;
  EXPECT_EQ(folders.Written(), folders.ini);
  EXPECT_EQ(dialog.Text(KILN_IDC_FILE), "new.bin") << "what was entered stays";
  dialog.Click(IDOK);
  EXPECT_EQ(Outcome(host), "result ok");
  EXPECT_NE(folders.Written().find("File=new.bin\n"), std::string::npos);
}

TEST(SettingDialog, AFolderOutsideTheAnsiCodePageIsReadAndWritten) {
  TempDir dir;
  const std::string folder = dir.File("Kiln \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xE6\x96\xB0");
  const std::string table = "t\xCE\xA9.bin";
  const std::filesystem::path wide(Wide(folder));
  std::filesystem::create_directory(wide);
  std::ofstream(wide / L"Kiln.ini", std::ios::binary) << "[FW_INFO1]\nModel=M07\nFile=a.bin\n";
  std::ofstream(wide / Wide(table), std::ios::binary) << std::string(32, 'v');
  const std::string outside = dir.Write("other.bin", "x");
  ChildProcess host = StartHost("setting " + Quoted(folder),
                                {outside, folder + "\\" + table, folder + "\\" + table});
  DialogDriver dialog(FindDialog("Kiln Setting:"));
  ASSERT_TRUE(dialog.found());
  EXPECT_EQ(dialog.Text(KILN_IDC_FILE), "a.bin");
  EXPECT_FALSE(dialog.Enabled(KILN_IDC_ADD_TABLE)) << "table switching is off";
  EXPECT_FALSE(dialog.Enabled(KILN_IDC_TABLE_LIST));
  dialog.Click(KILN_IDC_TABLE_SWITCH);
  EXPECT_TRUE(WaitUntil([&] { return dialog.Enabled(KILN_IDC_ADD_TABLE); }));
  dialog.Click(KILN_IDC_ADD_TABLE);
  EXPECT_NE(AnswerBox("Wrong Folder").find("other.bin is not in the program folder"),
            std::string::npos);
  dialog.Click(KILN_IDC_ADD_TABLE);
  const HWND list = dialog.Control(KILN_IDC_TABLE_LIST);
  EXPECT_TRUE(WaitUntil([&] { return Ask(list, LVM_GETITEMCOUNT) == 1; }));
  dialog.Click(KILN_IDC_FILE_BROWSE);
  EXPECT_TRUE(dialog.WaitForText(KILN_IDC_FILE, table));
  dialog.Click(IDOK);
  EXPECT_EQ(Outcome(host), "result ok");
  EXPECT_EQ(ReadFile(wide / L"Kiln.ini"),
            "[FW_INFO1]\nModel=M07\nFile=" + table +
                "\nWriteType=0\nEnableTableSwitch=1\n"
                "DisableOverwriteNewer=0\nNotWaitBurnOK=0\nSupportModel2=0\n"
                "TableFile1=" +
                table + ",Click me to edit description\n");
}

}  // namespace
}  // namespace kiln::testing
