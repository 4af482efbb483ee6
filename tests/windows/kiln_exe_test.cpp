// kiln.exe as a calling program runs it: report messages to a window of another process,
// a handle that is no window, a second instance while the first holds the instance lock.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/instance_lock.h"
#include "support/program_folder_builder.h"
#include "support/temp_dir.h"
#include "windows_process.h"

namespace kiln::testing {
namespace {

std::string WithoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

// The "report <wParam> <lParam>" lines of a text, in order.
std::vector<std::string> ReportLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(WithoutCarriageReturns(text));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("report ", 0) == 0) lines.push_back(line);
  }
  return lines;
}

struct KilnCase {
  const char* name;
  bool anotherKilnRuns;      // the test holds the instance lock meanwhile
  const char* reportWindow;  // "hwnd": the report window's handle; else the W value
  const char* options;       // the rest of the command line
  uint32_t exitCode;
  std::vector<std::string> received;  // the messages the window receives
  std::vector<std::string> stdoutReports;
  const char* stdoutHas;
  const char* stderrHas;
};

TEST(KilnExe, ReportsReachTheCallersWindowInOrderAndOnlyWhenKilnRuns) {
  TempDir dir;
  ProgramFolderBuilder(dir).Package("fw.bin", 7, "1.10").Entry(1, {"File=fw.bin"});
  const std::string kiln = WindowsPath(KILN_EXE);
  const std::string folder = " --dir \"" + dir.path().string() + "\"";
  // The package's version as the version report sends it, read from a run with no window.
  ChildProcess probe(kiln + " -CheckBinVersion --report-stdout" + folder);
  const auto probed = probe.Wait();
  ASSERT_TRUE(probed);
  const std::vector<std::string> versions = ReportLines(probed->out);
  ASSERT_EQ(versions.size(), 2u) << probed->out;
  ASSERT_EQ(versions[0].rfind("report 102 ", 0), 0u);
  ASSERT_NE(versions[0], "report 102 0") << "the package was not read";
  ASSERT_EQ(versions[1], "report 103 0");
  // The same folder under a name outside the ANSI code page reaches Kiln whole.
  const std::filesystem::path unicode = dir.path() / L"\u03A9\u65E5\u672C";
  std::filesystem::create_directory(unicode);
  std::filesystem::copy(dir.path() / "Kiln.ini", unicode / "Kiln.ini");
  std::filesystem::copy(dir.path() / "fw.bin", unicode / "fw.bin");
  ChildProcess named(kiln + " -CheckBinVersion --report-stdout --dir \"" +
                     platform::windows::Utf8(unicode.wstring()) + "\"");
  const auto namedRun = named.Wait();
  ASSERT_TRUE(namedRun);
  EXPECT_EQ(ReportLines(namedRun->out), versions) << namedRun->err;

  const std::vector<KilnCase> cases = {
      {"to the window and standard output", false, "hwnd", "-CheckBinVersion --report-stdout", 0,
       versions, versions, "", ""},
      {"a handle that is no window",
       false,
       "12345678",
       "-CheckBinVersion --report-stdout",
       0,
       {},
       versions,
       "",
       ""},
      {"a second instance",
       true,
       "hwnd",
       "-S --report-stdout --json",
       0,
       {},
       {},
       "another-kiln-running",
       ""},
      {"no command-line mode",
       false,
       "hwnd",
       "",
       1,
       {},
       {},
       "",
       "the window is not part of the Windows build"},
  };
  for (const KilnCase& c : cases) {
    SCOPED_TRACE(c.name);
    ChildProcess window(WindowsPath(KILN_REPORT_WINDOW));
    ASSERT_TRUE(window.started());
    const std::string handle = window.ReadLine();
    ASSERT_FALSE(handle.empty());
    std::optional<platform::InstanceLock> first;
    if (c.anotherKilnRuns) {
      first = platform::InstanceLock::TryAcquire();
      ASSERT_TRUE(first) << "another Kiln runs already";
    }
    const std::string w = std::string(c.reportWindow) == "hwnd" ? handle : c.reportWindow;
    ChildProcess run(kiln + " " + c.options + " -W" + w + folder);
    const auto finished = run.Wait();
    first.reset();
    ::PostMessageW(reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoul(handle))), WM_CLOSE, 0,
                   0);
    const auto received = window.Wait();
    ASSERT_TRUE(finished);
    ASSERT_TRUE(received);
    EXPECT_EQ(finished->exitCode, c.exitCode) << finished->err;
    EXPECT_EQ(ReportLines(received->out), c.received);
    EXPECT_EQ(ReportLines(finished->out), c.stdoutReports);
    EXPECT_TRUE(ReportLines(finished->err).empty()) << finished->err;
    EXPECT_NE(finished->out.find(c.stdoutHas), std::string::npos) << finished->out;
    EXPECT_NE(finished->err.find(c.stderrHas), std::string::npos) << finished->err;
  }
}

}  // namespace
}  // namespace kiln::testing
