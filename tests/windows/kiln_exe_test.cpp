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
      {"help, which opens no window", false, "hwnd", "--help", 0, {}, {}, "Usage: kiln", ""},
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

// Held open by another program without sharing: Kiln says the file is in use, not missing.
TEST(KilnExe, AFileHeldByAnotherProgramIsSaidToBeInUse) {
  TempDir dir;
  ProgramFolderBuilder(dir).Package("fw.bin", 7, "1.10").Entry(1, {"File=fw.bin"});
  const std::string run =
      WindowsPath(KILN_EXE) + " -S -M7 --progress --dir \"" + dir.path().string() + "\"";
  for (const char* name : {"Kiln.ini", "fw.bin"}) {
    SCOPED_TRACE(name);
    const UniqueHandle held(::CreateFileW((dir.path() / name).wstring().c_str(), GENERIC_READ, 0,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.valid());
    ChildProcess kiln(run);
    const auto finished = kiln.Wait();
    ASSERT_TRUE(finished);
    EXPECT_NE(finished->err.find("is in use by another program"), std::string::npos)
        << finished->err;
    EXPECT_EQ(finished->err.find("does not exist"), std::string::npos) << finished->err;
    EXPECT_EQ(finished->err.find("no Kiln.ini"), std::string::npos) << finished->err;
  }
}

// A folder whose Kiln.ini path passes 260 characters is read, and its trace written; a
// folder named as a \\?\ path is read; paths are joined and printed with '\' alone, and
// "File=fw.bin." is named as fw.bin, the file Windows reads for it.
TEST(KilnExe, LongAndVerbatimFoldersAreReadAndPathsNamedAsRead) {
  TempDir dir;
  ProgramFolderBuilder(dir).Package("fw.bin", 7, "1.10").Entry(1, {"File=fw.bin."});
  const std::wstring verbatim = L"\\\\?\\" + dir.path().wstring();
  std::wstring longFolder = verbatim;
  for (int i = 0; i < 3; ++i)
    longFolder += L"\\" + std::wstring(90, static_cast<wchar_t>(L'a' + i));
  ASSERT_TRUE(std::filesystem::create_directories(longFolder));
  for (const wchar_t* name : {L"Kiln.ini", L"fw.bin"}) {
    ASSERT_TRUE(
        ::CopyFileW((verbatim + L"\\" + name).c_str(), (longFolder + L"\\" + name).c_str(), TRUE));
  }
  const std::string folder = platform::windows::Utf8(longFolder.substr(4));
  ASSERT_GE(folder.size() + 9, 260u);
  const std::string trace = folder + "\\trace.txt";
  for (const std::string& named : {folder, "\\\\?\\" + dir.path().string()}) {
    SCOPED_TRACE(named);
    ChildProcess kiln(WindowsPath(KILN_EXE) + " -S -M7 --json --progress --log-level 1 " +
                      "--log-file \"" + trace + "\" --dir \"" + named + "\"");
    const auto finished = kiln.Wait();
    ASSERT_TRUE(finished);
    EXPECT_NE(finished->out.find(R"(\\fw.bin","model":7,"version":"1.10")"), std::string::npos)
        << finished->out << finished->err;
    EXPECT_EQ(finished->out.find('/'), std::string::npos) << finished->out;
    EXPECT_EQ(finished->err.find('/'), std::string::npos) << finished->err;
  }
  EXPECT_NE(::GetFileAttributesW((longFolder + L"\\trace.txt").c_str()), INVALID_FILE_ATTRIBUTES)
      << "no trace in the long folder";
}

// A caller whose window thread has stopped pumping messages delays Kiln a bounded time:
// the run ends long before the window would answer, and its JSON marks each report the
// window did not take.
TEST(KilnExe, AHungReportWindowDelaysTheRunABoundedTime) {
  TempDir dir;
  ProgramFolderBuilder(dir).Package("fw.bin", 7, "1.10").Entry(1, {"File=fw.bin"});
  constexpr DWORD kHang = 25000;
  ChildProcess window(WindowsPath(KILN_REPORT_WINDOW) + " --hang " + std::to_string(kHang));
  ASSERT_TRUE(window.started());
  const std::string handle = window.ReadLine();
  ASSERT_FALSE(handle.empty());
  const ULONGLONG start = ::GetTickCount64();
  ChildProcess run(WindowsPath(KILN_EXE) + " -S -M7 --json -W" + handle + " --dir \"" +
                   dir.path().string() + "\"");
  const auto finished = run.Wait();
  const ULONGLONG took = ::GetTickCount64() - start;
  ASSERT_TRUE(finished);
  EXPECT_LT(took, kHang - 10000) << "Kiln waited for the window";
  EXPECT_EQ(finished->exitCode, 0u) << finished->err;
  EXPECT_NE(finished->out.find(R"({"code":100,"value":0,"delivered":false})"), std::string::npos)
      << finished->out;
  EXPECT_NE(finished->out.find(R"({"code":110,"value":0,"delivered":false})"), std::string::npos)
      << finished->out;
  EXPECT_TRUE(window.Wait());
}

}  // namespace
}  // namespace kiln::testing
