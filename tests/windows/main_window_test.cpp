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
#include <thread>

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
  EXPECT_TRUE(ScreenshotForReview(window, name)) << name;
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

RECT ScreenRect(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  return rect;
}

// The group box of dialog that frames the control at inner.
HWND FrameAround(HWND dialog, const RECT& inner) {
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    const RECT rect = ScreenRect(child);
    if ((::GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX &&
        rect.top < inner.top && rect.bottom > inner.top && rect.left < inner.left &&
        rect.right > inner.right) {
      return child;
    }
  }
  return nullptr;
}

// A model-7 folder with a package of version 1.10 and a colour table, and the German
// texts; more lines go to its model entry.
ProgramFolderBuilder ReadyFolder(const TempDir& dir,
                                 std::initializer_list<std::string_view> more = {}) {
  ProgramFolderBuilder folder(dir);
  folder.Package("fw.bin", 7, "1.10")
      .File("standard.bin", std::string(16, 's'))
      .Entry(1, {"File=fw.bin", "Delay2=1", "ActInfo=1", "EnableTableSwitch=1",
                 "TableFile1=standard.bin,Standard"})
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
    EXPECT_TRUE(WaitUntil([&] { return demo.window.Enabled(kStart) == c.startEnabled; }));
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

// The update, by keyboard alone: Tab goes START, Change Color Mode, Exit; Enter starts;
// Esc, Exit and the close box are refused while it runs; the count-down shows; the new
// version is read back from the printer; Esc then closes the window.
TEST(MainWindow, KeyboardUpdateRunsThroughTheCountDownToTheNewVersion) {
  TempDir dir;
  ReadyFolder(dir);
  const TimeScale faster("0.2");
  Demo demo(dir.path());
  ASSERT_TRUE(demo.window.WaitForText(kStatus, kReady));
  ::SetForegroundWindow(demo.window.handle());
  ASSERT_TRUE(WaitUntil([&] { return demo.FocusId() == kStart; }, 5s)) << demo.FocusId();
  for (const int next : {kColourMode, kExit, kStart}) {
    PressKey(VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return demo.FocusId() == next; }, 5s))
        << "expected " << next << ", focus on " << demo.FocusId();
  }
  PressKey(VK_TAB, true);
  EXPECT_TRUE(WaitUntil([&] { return demo.FocusId() == kExit; }, 5s)) << demo.FocusId();
  PressKey(VK_TAB);
  ASSERT_TRUE(WaitUntil([&] { return demo.FocusId() == kStart; }, 5s));

  PressKey(VK_RETURN);
  // The buttons go one after the other; the update's start disables all three.
  ASSERT_TRUE(WaitUntil(
      [&] {
        return !demo.window.Enabled(kStart) && !demo.window.Enabled(kExit) &&
               !demo.window.Enabled(kColourMode);
      },
      10s))
      << "Enter starts";
  PressKey(VK_ESCAPE);
  demo.window.Command(kExit);
  ::PostMessageW(demo.window.handle(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(demo.window.WaitForText(kStatus, "Burning flash.....", 60s))
      << demo.window.Text(kStatus);
  EXPECT_TRUE(demo.window.Visible(kAnimation));
  Screenshot(demo.window.handle(), "countdown-en");
  EXPECT_FALSE(demo.Ended(0ms)) << "the window stays while the update runs";
  // One second less each second.
  const std::string first = demo.window.Text(kStatus);
  const int left = std::atoi(first.c_str() + std::string("Burning flash.....").size());
  EXPECT_GT(left, 1) << first;
  EXPECT_TRUE(demo.window.WaitForText(kStatus, "Burning flash....." + std::to_string(left - 1), 5s))
      << first;

  ASSERT_TRUE(demo.window.WaitForText(kStatus, "Write firmware done!", 60s))
      << demo.window.Text(kStatus);
  ASSERT_TRUE(WaitUntil([&] { return demo.window.Text(kCurrentVersion) == "1.10"; }, 30s))
      << demo.window.Text(kCurrentVersion);
  ASSERT_TRUE(
      WaitUntil([&] { return demo.window.Enabled(kStart) && demo.window.Enabled(kExit); }, 10s));
  // The version as the printer reports it now: the label's click asks it again.
  demo.window.SetText(kCurrentVersion, "?");
  demo.window.Command(kVersionLabel, STN_CLICKED);
  EXPECT_TRUE(WaitUntil([&] { return demo.window.Text(kCurrentVersion) == "1.10"; }, 10s))
      << demo.window.Text(kCurrentVersion);

  ::SetForegroundWindow(demo.window.handle());
  PressKey(VK_ESCAPE);
  EXPECT_TRUE(demo.Ended(10s)) << "Esc closes the window once the update has ended";
}

// The printer leaves USB in the middle of the image and never comes back: the failure
// texts, the buttons back, the window still there. Without its animation resource the
// update runs the same, its control hidden.
TEST(MainWindow, APrinterThatLeavesMidUpdateEndsWithTheFailureTexts) {
  struct Case {
    const char* options;
    const char* writing;
    const char* failed;
    const char* screenshots;  // the count-down is not reached: "writing" and "failure"
    bool animation;
  };
  const Case cases[] = {
      {"--no-animation", "Writing firmware....", "Write firmware fail!\n\nPlease restart", "en",
       false},
      {"--language ger", "Firmware wird geschrieben",
       "Schreiben der Firmware fehlgeschlagen!\n\nDrucker neu starten", "de", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    TempDir dir;
    ReadyFolder(dir);
    const TimeScale faster("0.2");
    Demo demo(dir.path(),
              std::string(c.options) +
                  " --printer 7,version=1.05,fault=leave-after=4096,fault=never-return");
    ASSERT_TRUE(demo.window.WaitForText(kStatus, "\n\n"));
    const LONG templateHeight = ScreenRect(demo.window.Control(kStatus)).bottom -
                                ScreenRect(demo.window.Control(kStatus)).top;
    demo.window.Click(kStart);
    ASSERT_TRUE(demo.window.WaitForText(kStatus, c.writing)) << demo.window.Text(kStatus);
    EXPECT_EQ(demo.window.Visible(kAnimation), c.animation);
    Screenshot(demo.window.handle(), std::string("writing-") + c.screenshots);
    int errorBoxes = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
          errorBoxes += demo.CloseBoxes("Error");
          return demo.window.Text(kStatus).rfind(c.failed, 0) == 0 && demo.window.Enabled(kStart) &&
                 demo.window.Enabled(kExit) && demo.window.Enabled(kColourMode);
        },
        90s))
        << demo.window.Text(kStatus);
    // The longer status (with its cause) grew, its frame with it, the animation below.
    const RECT status = ScreenRect(demo.window.Control(kStatus));
    EXPECT_GT(status.bottom - status.top, templateHeight);
    EXPECT_GE(ScreenRect(FrameAround(demo.window.handle(), status)).bottom, status.bottom);
    EXPECT_GT(ScreenRect(demo.window.Control(kAnimation)).top, status.bottom);
    Screenshot(demo.window.handle(), std::string("failure-") + c.screenshots);
    demo.window.Click(kExit);
    EXPECT_TRUE(demo.Ended(10s));
  }
}

// A device change as the system sends it: a removal while the model's printer stays
// changes nothing, an arrival asks the printer again. The download's notifications. The About box
// from the system menu, in both languages.
TEST(MainWindow, DeviceChangesAndTheAboutBox) {
  TempDir dir;
  ReadyFolder(dir);
  for (const char* language : {"eng", "ger"}) {
    SCOPED_TRACE(language);
    Demo demo(dir.path(), std::string("--language ") + language);
    ASSERT_TRUE(demo.window.WaitForText(kStatus, "\n\n"));
    const bool english = std::string(language) == "eng";
    if (english) {
      DEV_BROADCAST_DEVICEINTERFACE_W printer{};
      printer.dbcc_size = sizeof printer;
      printer.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
      DWORD_PTR answer = 0;
      ASSERT_TRUE(::SendMessageTimeoutW(
          demo.window.handle(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
          reinterpret_cast<LPARAM>(&printer), SMTO_ABORTIFHUNG, 2000, &answer));
      EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
      // Another printer went: the model's printer is still there, the window stays ready.
      EXPECT_EQ(demo.window.Text(kStatus).rfind(kReady, 0), 0u);
      demo.window.SetText(kCurrentVersion, "?");
      ASSERT_TRUE(::SendMessageTimeoutW(demo.window.handle(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                                        reinterpret_cast<LPARAM>(&printer), SMTO_ABORTIFHUNG, 2000,
                                        &answer));
      EXPECT_TRUE(demo.window.WaitForText(kStatus, kReady));
      EXPECT_TRUE(WaitUntil([&] { return demo.window.Text(kCurrentVersion) == "1.05"; }));
      EXPECT_TRUE(WaitUntil([&] { return demo.window.Enabled(kStart); }));
      // The download's notifications: a count-down second, then a printer error shown in
      // a box captioned Error and then in the status.
      ::PostMessageW(demo.window.handle(), 0x5500, 1, 7);
      EXPECT_TRUE(demo.window.WaitForText(kStatus, "Burning flash.....7"));
      ::PostMessageW(demo.window.handle(), 0x5500, 2, 0x00030302);
      int boxes = 0;
      EXPECT_TRUE(WaitUntil([&] { return (boxes += demo.CloseBoxes("Error")) > 0; }));
      EXPECT_TRUE(WaitUntil([&] {
        return demo.window.Text(kStatus).find("Burning flash") == std::string::npos;
      })) << demo.window.Text(kStatus);
    }
    ::PostMessageW(demo.window.handle(), WM_SYSCOMMAND, kAboutCommand, 0);
    DialogDriver about(WaitForTopWindow(demo.pid(), english ? "About Kiln"
                                                            : "\xC3\x9C"
                                                              "ber Kiln"));
    ASSERT_TRUE(about.found());
    EXPECT_EQ(about.Text(kAboutVersion), "Kiln v3.0.2  build 585");
    Screenshot(about.handle(), std::string("about-") + (english ? "en" : "de"));
    about.Click(IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !about.Exists(); }));
  }
}

// The window paints and answers while the printer holds back every answer for 20 s: the
// evaluation waits off the window's thread.
TEST(MainWindow, AnswersWithinASecondWhileThePrinterHoldsItsAnswers) {
  TempDir dir;
  ReadyFolder(dir);
  const auto start = std::chrono::steady_clock::now();
  Demo demo(dir.path(), "--hold-answers 20");
  ASSERT_TRUE(demo.window.found());
  int late = 0, asked = 0;
  while (std::chrono::steady_clock::now() - start < 21s) {
    DWORD_PTR answer = 0;
    if (!::SendMessageTimeoutW(demo.window.handle(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000,
                               &answer)) {
      ++late;
    }
    ++asked;
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(late, 0) << "of " << asked;
  EXPECT_GT(asked, 100);
  // Then the evaluation ends with what the printer answered: ready.
  EXPECT_TRUE(demo.window.WaitForText(kStatus, kReady, 30s)) << demo.window.Text(kStatus);
}

struct BadInputCase {
  const char* name;
  void (*build)(const TempDir&);
  const char* options;
  bool (*expected)(const std::string& status);
};

// Texts, folders and files that are not what they should be each end in a state the
// window shows, with Exit working.
TEST(MainWindow, BadInputEndsInADefinedState) {
  const BadInputCase cases[] = {
      {"a language text that is no UTF-8 is read in the language's code page",
       [](const TempDir& dir) { ReadyFolder(dir).Section("eng", {"Ready=\xFE\xFF Bereit \x80"}); },
       "--language eng",
       [](const std::string& status) {
         return status.rfind("\xC3\xBE\xC3\xBF Bereit \xE2\x82\xAC\n\nNotice!", 0) == 0;
       }},
      {"a 4,000-character text is cut to the texts' 1,023",
       [](const TempDir& dir) {
         const std::string line = "Ready=" + std::string(4000, 'x');
         ReadyFolder(dir).Section("eng", {line});
       },
       "--language eng",
       [](const std::string& status) { return status == std::string(1023, 'x'); }},
      {"a folder named outside the ANSI code page",
       [](const TempDir& dir) {
         ReadyFolder(dir);
         const std::filesystem::path named = dir.path() / L"\u03A9\u65E5\u672C";
         std::filesystem::create_directory(named);
         for (const char* file : {"Kiln.ini", "fw.bin", "standard.bin"}) {
           std::filesystem::rename(dir.path() / file, named / file);
         }
       },
       "", [](const std::string& status) { return status.rfind(kReady, 0) == 0; }},
  };
  for (const BadInputCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    c.build(dir);
    std::filesystem::path folder = dir.path();
    if (!std::filesystem::exists(folder / "Kiln.ini")) folder /= L"\u03A9\u65E5\u672C";
    Demo demo(folder, c.options);
    ASSERT_TRUE(demo.window.found());
    EXPECT_TRUE(WaitUntil([&] { return c.expected(demo.window.Text(kStatus)); }))
        << demo.window.Text(kStatus);
    demo.window.Click(kExit);
    EXPECT_TRUE(demo.Ended(10s));
  }
}

// Kiln.ini held open by another program that shares nothing: the window cannot read it
// and shows that it has no Kiln.ini; START stays off, Exit works.
TEST(MainWindow, KilnIniHeldByAnotherProgram) {
  TempDir dir;
  ReadyFolder(dir);
  const UniqueHandle held(::CreateFileW((dir.path() / "Kiln.ini").wstring().c_str(), GENERIC_READ,
                                        0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held.valid());
  Demo demo(dir.path());
  ASSERT_TRUE(demo.window.found());
  EXPECT_TRUE(demo.window.WaitForText(kStatus, "Can't find Kiln.ini!"))
      << demo.window.Text(kStatus);
  EXPECT_TRUE(WaitUntil([&] { return !demo.window.Enabled(kStart); }));
  demo.window.Click(kExit);
  EXPECT_TRUE(demo.Ended(10s));
}

// The session ends (or a stop is asked for) while an update runs: the window stays until
// the update has ended, then closes by itself. In German, untranslated texts in English.
TEST(MainWindow, EndOfSessionDuringAnUpdateClosesTheWindowOnceItHasEnded) {
  TempDir dir;
  ReadyFolder(dir);
  const TimeScale faster("0.2");
  Demo demo(dir.path(), "--language ger");
  ASSERT_TRUE(demo.window.WaitForText(kStatus, "Bereit."));
  demo.window.Click(kStart);
  ASSERT_TRUE(demo.window.WaitForText(kStatus, "Burning flash.....", 60s));
  Screenshot(demo.window.handle(), "countdown-de");
  DWORD_PTR answer = 0;
  ::SendMessageTimeoutW(demo.window.handle(), WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 2000,
                        &answer);
  bool stopSaid = false, doneSeen = false;
  EXPECT_TRUE(WaitUntil(
      [&] {
        if (demo.Ended(0ms)) return true;
        const std::string status = demo.window.Text(kStatus);
        stopSaid = stopSaid || status.find("A stop was requested") != std::string::npos;
        doneSeen = doneSeen || status.rfind("Write firmware done!", 0) == 0;
        return false;
      },
      60s));
  EXPECT_TRUE(stopSaid);
  EXPECT_TRUE(doneSeen) << "the window closed only once the update had ended";
}

// The hidden corner clicks and Change Color Mode open their dialogs; a click just outside
// the corner opens nothing.
TEST(MainWindow, CornerGesturesAndChangeColorModeOpenTheirDialogs) {
  TempDir dir;
  ReadyFolder(dir);
  Demo demo(dir.path());
  ASSERT_TRUE(demo.window.WaitForText(kStatus, kReady));

  struct Gesture {
    WPARAM keys;
    int x, y;
    const char* title;  // nullptr: no dialog
  };
  for (const Gesture& g : {Gesture{MK_CONTROL | MK_SHIFT, 13, 5, nullptr},
                           Gesture{MK_CONTROL, 12, 10, "Kiln Setting:"},
                           Gesture{MK_CONTROL | MK_SHIFT, 0, 0, "Advance Settings:"}}) {
    SCOPED_TRACE(g.title != nullptr ? g.title : "outside the corner");
    ::PostMessageW(demo.window.handle(), WM_LBUTTONDOWN, g.keys, MAKELPARAM(g.x, g.y));
    ::PostMessageW(demo.window.handle(), WM_LBUTTONUP, 0, MAKELPARAM(g.x, g.y));
    if (g.title == nullptr) {
      EXPECT_EQ(WaitForTopWindow(demo.pid(), "Kiln Setting:", 1s), nullptr);
      EXPECT_EQ(WaitForTopWindow(demo.pid(), "Advance Settings:", 1s), nullptr);
      continue;
    }
    DialogDriver dialog(WaitForTopWindow(demo.pid(), g.title));
    ASSERT_TRUE(dialog.found());
    dialog.Click(IDCANCEL);
    EXPECT_TRUE(WaitUntil([&] { return !dialog.Exists(); }));
  }
  demo.window.Click(kColourMode);
  DialogDriver colours(WaitForTopWindow(demo.pid(), "Change Color Mode"));
  ASSERT_TRUE(colours.found());
  colours.Click(IDCANCEL);
  EXPECT_TRUE(WaitUntil([&] { return !colours.Exists(); }));
  EXPECT_TRUE(demo.window.WaitForText(kStatus, kReady));
}

}  // namespace
}  // namespace kiln::testing
