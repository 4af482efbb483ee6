// kiln-window-demo's window driven from another process by control id, on a virtual
// display: the statuses, an update through its count-down, a printer that leaves, the
// keyboard, device changes, the About box, a window that answers while a printer stalls,
// and texts and folders that are not what they should be. Screenshots of each state go
// to KILN_SCREENSHOT_DIR.

#include <windows.h>
// After windows.h, which it needs.
#include <dbt.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/program_folder_builder.h"
#include "support/temp_dir.h"
#include "window_driver.h"
#include "windows_process.h"

namespace kiln::testing {
namespace {

using namespace std::chrono_literals;

constexpr int kStart = 1, kExit = 2, kStatus = 1001, kAnimation = 1002, kModel = 1003,
              kNewVersion = 1004, kCurrentVersion = 1005, kVersionLabel = 1019, kColourMode = 1031;
constexpr int kAboutCommand = 16, kAboutVersion = 1100;

constexpr const char* kReady = "Ready to work. Press START to go!";
constexpr const char* kDownloadAgain = "Please download the file again.";

// German texts of the window, in UTF-8.
constexpr std::string_view kGerman[] = {
    "Ready=Bereit. START dr\xC3\xBC"
    "cken!",
    "Ready2=USB erst nach dem Aktualisieren abziehen.",
    "WritingFlash1=Firmware wird geschrieben....",
    "WritingFlash2=Das dauert einige Minuten. Bitte warten.",
    "WriteFlashFail1=Schreiben der Firmware fehlgeschlagen!",
    "WriteFlashFail2=Drucker neu starten und das Programm erneut ausf\xC3\xBChren.",
    "WriteFlashFailCause=Ursache:",
    "CanNotDowngrade=Die Firmware des Druckers ist neuer als diese; sie kann nicht "
    "zur\xC3\xBC"
    "ckgestuft werden.",
    "START=START",
    "Exit=Beenden",
    "Model:=Modell:",
    "New Version:=Neue Version:",
    "Current Version:=Aktuelle Version:",
    "Change Color Mode=Farbmodus \xC3\xA4ndern",
    "About Kiln=\xC3\x9C"
    "ber Kiln",
};

// A pause of Kiln and the printer takes a fifth of its time while it lives.
class TimeScale {
 public:
  explicit TimeScale(const char* scale) { ::_putenv_s("KILN_TIME_SCALE", scale); }
  ~TimeScale() { ::_putenv_s("KILN_TIME_SCALE", ""); }
};

void Screenshot(HWND window, const std::string& name) {
  const char* folder = std::getenv("KILN_SCREENSHOT_DIR");
  if (folder == nullptr || *folder == '\0') return;
  EXPECT_TRUE(WriteScreenshot(window, WindowsPath(std::string(folder) + "/" + name + ".png")))
      << name;
}

// kiln-window-demo on a folder, and its window once it shows.
class Demo {
 public:
  explicit Demo(const std::filesystem::path& folder, const std::string& options = "") {
    std::wstring line =
        platform::windows::Wide(WindowsPath(KILN_WINDOW_DEMO) + " " + options + " --dir \"" +
                                platform::windows::Utf8(folder.wstring()) + "\"");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &started)) {
      return;
    }
    process_ = UniqueHandle(started.hProcess);
    UniqueHandle thread(started.hThread);
    pid_ = started.dwProcessId;
    window = DialogDriver(WaitForTopWindow(pid_, "Kiln"));
  }
  // A window left open is closed; one that does not close is ended.
  ~Demo() {
    if (!process_.valid() || Ended(0ms)) return;
    window.Click(kExit);
    if (!Ended(10s)) ::TerminateProcess(process_.get(), 99);
  }

  bool Ended(std::chrono::milliseconds timeout) {
    return ::WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) ==
           WAIT_OBJECT_0;
  }
  DWORD pid() const { return pid_; }
  // Closes the message boxes titled title that show meanwhile; how many there were.
  int CloseBoxes(const char* title) {
    int closed = 0;
    while (HWND box = FindTopWindow(pid_, title)) {
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      WaitUntil([&] { return ::IsWindow(box) == FALSE; }, 5s);
      ++closed;
    }
    return closed;
  }
  // The control that has the keyboard focus in the window's thread.
  int FocusId() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = ::GetWindowThreadProcessId(window.handle(), nullptr);
    if (!::GetGUIThreadInfo(thread, &info) || info.hwndFocus == nullptr) return 0;
    return ::GetDlgCtrlID(info.hwndFocus);
  }

  DialogDriver window;

 private:
  UniqueHandle process_;
  DWORD pid_ = 0;
};

// A model-7 folder with a package of version 1.10 and a colour table, and the German
// texts; more lines go to its model entry.
ProgramFolderBuilder ReadyFolder(const TempDir& dir,
                                 std::initializer_list<std::string_view> more = {}) {
  ProgramFolderBuilder folder(dir);
  folder.Package("fw.bin", 7, "1.10")
      .File("standard.bin", std::string(16, 's'))
      .Entry(1,
             {"File=fw.bin", "Delay2=1", "EnableTableSwitch=1", "TableFile1=standard.bin,Standard"})
      .Lines(more)
      .Section("ger", {});
  for (const std::string_view line : kGerman) folder.Lines({line});
  return folder;
}

struct StatusCase {
  const char* name;
  void (*build)(const TempDir&);
  const char* options;
  const char* status;  // the start of the status text
  bool startEnabled;
  const char* screenshot;  // nullptr: none
};

TEST(MainWindow, EachCheckOfTheChainShowsItsStatusAndStartOnlyWhenReady) {
  const StatusCase cases[] = {
      {"no Kiln.ini", [](const TempDir&) {}, "", "Can't find Kiln.ini!\n\nPlease download", false,
       nullptr},
      {"package missing",
       [](const TempDir& dir) { ProgramFolderBuilder(dir).Entry(1, {"File=fw.bin"}); }, "",
       "Can't open firmware bin file!\n\nPlease download", false, nullptr},
      {"no printer", [](const TempDir& dir) { ReadyFolder(dir); }, "--no-printer",
       "Printer is not connected!\n\nPlease plug in", false, nullptr},
      {"no driver", [](const TempDir& dir) { ReadyFolder(dir); }, "--no-driver",
       "There is no printer driver installed!", false, nullptr},
      {"ready", [](const TempDir& dir) { ReadyFolder(dir); }, "", kReady, true, "ready-en"},
      {"ready, German", [](const TempDir& dir) { ReadyFolder(dir); }, "--language ger",
       "Bereit. START dr\xC3\xBC"
       "cken!\n\nUSB erst",
       true, "ready-de"},
      {"cannot downgrade",
       [](const TempDir& dir) { ReadyFolder(dir, {"DisableOverwriteNewer=1"}); },
       "--printer 7,version=1.20", "The firmware on device is newer", false, "cannot-downgrade-en"},
      {"cannot downgrade, German",
       [](const TempDir& dir) { ReadyFolder(dir, {"DisableOverwriteNewer=1"}); },
       "--printer 7,version=1.20 --language ger", "Die Firmware des Druckers ist neuer", false,
       "cannot-downgrade-de"},
  };
  for (const StatusCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    c.build(dir);
    Demo demo(dir.path(), c.options);
    ASSERT_TRUE(demo.window.found());
    ASSERT_TRUE(demo.window.WaitForText(kStatus, c.status)) << demo.window.Text(kStatus);
    EXPECT_EQ(demo.window.Text(kStatus).rfind(c.status, 0), 0u) << demo.window.Text(kStatus);
    EXPECT_EQ(demo.window.Enabled(kStart), c.startEnabled);
    EXPECT_TRUE(demo.window.Enabled(kExit));
    if (c.startEnabled) {
      EXPECT_EQ(demo.window.Text(kNewVersion), "1.10");
      EXPECT_EQ(demo.window.Text(kCurrentVersion), "1.05");
      EXPECT_FALSE(demo.window.Text(kModel).empty());
      EXPECT_TRUE(demo.window.Visible(kColourMode));
    }
    if (std::string(c.name) == "no Kiln.ini") {
      EXPECT_FALSE(demo.window.Visible(kColourMode));
      EXPECT_EQ(demo.window.Text(kCurrentVersion), "N/A");
    }
    if (c.screenshot != nullptr) Screenshot(demo.window.handle(), c.screenshot);
    demo.window.Click(kExit);
    EXPECT_TRUE(demo.Ended(10s)) << "Exit closes the window";
  }
}

}  // namespace
}  // namespace kiln::testing
