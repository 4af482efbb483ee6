// The version report and the silent update as a calling program sees them: the kiln
// program started on the test bed, its reports received either by an X11 window of the
// test's own (on a private Xvfb) or, without a display, as lines on standard output.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/report_sink.h"
#include "app/version_text.h"
#include "config/firmware_package.h"
#include "platform/instance_lock.h"
#include "support/child_process.h"
#include "support/printer_builder.h"
#include "support/program_folder_builder.h"
#include "support/temp_dir.h"
#include "support/x_display.h"
#include "test_bed_fixture.h"

namespace kiln {
namespace {

using app::PackVersion;
using Reports = std::vector<std::pair<uint32_t, uint32_t>>;
using kiln::testing::ChildProcess;

enum class ReportPath { kWindow, kStandardOutput };

constexpr std::chrono::seconds kRunLimit{60};

kiln::testing::PrinterBuilder Printer(uint32_t model, const char* version) {
  return kiln::testing::PrinterBuilder(model).Version(version).RestartGapMs(500);
}

class CommandLineModes : public kiln::testing::TestBedTest,
                         public ::testing::WithParamInterface<ReportPath> {
 protected:
  void SetUp() override {
    ::setenv("KILN_TIME_SCALE", "0.01", 0);
    TestBedTest::SetUp();
    if (GetParam() == ReportPath::kWindow) {
      server_ = std::make_unique<kiln::testing::XvfbServer>();
      if (server_->display().empty()) GTEST_SKIP() << "Xvfb is not installed or did not start";
      ::setenv("DISPLAY", server_->display().c_str(), 1);
      receiver_ = std::make_unique<kiln::testing::ReportReceiver>(server_->display());
      ASSERT_TRUE(receiver_->ok());
      window_ = receiver_->NewWindow();
    } else {
      ::unsetenv("DISPLAY");
      window_ = 4242;  // no display: nothing may be sent anywhere
    }
  }
  void TearDown() override {
    receiver_.reset();
    server_.reset();
    TestBedTest::TearDown();
  }

  // Kiln.ini for entry 1 with a package for model's product ID at version, programmed in
  // 3 seconds, plus extra key lines; the folder is built on from what it returns.
  kiln::testing::ProgramFolderBuilder Folder(
      uint32_t model, const char* version, std::initializer_list<std::string_view> extraKeys = {}) {
    return kiln::testing::ProgramFolderBuilder(dir_)
        .Package("fw.bin", model, version, {.size = 0x20000})
        .Entry(1, {"File=fw.bin", "Delay1=2", "Delay2=2"})
        .Lines(extraKeys);
  }

  std::vector<std::string> Command(std::vector<std::string> options) const {
    options.insert(options.begin(), {KILN_PROGRAM, "--dir", dir_.path().string()});
    options.push_back("-W" + std::to_string(window_));
    if (GetParam() == ReportPath::kStandardOutput) options.push_back("--report-stdout");
    return options;
  }

  // The reports a finished run made, by the path under test; standard output must hold
  // the report lines and nothing else.
  Reports ReportsOf(const std::string& stdoutFile, uint32_t window) {
    Reports reports;
    const std::string out = kiln::testing::TempDir::Read(stdoutFile);
    if (GetParam() == ReportPath::kWindow) {
      EXPECT_EQ(out, "") << "only reports go to standard output";
      for (const auto& r : receiver_->Take()) received_.push_back(r);
      std::erase_if(received_, [&](const kiln::testing::ReceivedReport& r) {
        if (r.window != window) return false;
        EXPECT_EQ(r.message, app::kReportMessage);
        reports.emplace_back(r.wParam, r.lParam);
        return true;
      });
      return reports;
    }
    std::istringstream lines(out);
    std::string word;
    uint32_t wParam = 0;
    uint32_t lParam = 0;
    while (lines >> word >> wParam >> lParam) {
      EXPECT_EQ(word, "report");
      reports.emplace_back(wParam, lParam);
    }
    EXPECT_TRUE(lines.eof()) << "unexpected output: " << out;
    return reports;
  }

  // Runs kiln to its end: it must exit with status 0.
  Reports Run(std::vector<std::string> options) {
    const std::string out = dir_.File("stdout.txt");
    ChildProcess kiln(Command(std::move(options)), out);
    EXPECT_TRUE(kiln.started());
    EXPECT_EQ(kiln.WaitFor(kRunLimit), 0);
    return ReportsOf(out, window_);
  }

  sim::VirtualPrinter& Bed() { return bed_->Printer(0); }

  kiln::testing::TempDir dir_;
  std::unique_ptr<kiln::testing::XvfbServer> server_;
  std::unique_ptr<kiln::testing::ReportReceiver> receiver_;
  uint32_t window_ = 0;
  std::vector<kiln::testing::ReceivedReport> received_;  // not yet claimed by a window
};

TEST_P(CommandLineModes, VersionReportPacksPackageAndPrinterVersions) {
  Start({Printer(7, "1.05")});
  Folder(7, "1.10");
  EXPECT_EQ(Run({"-CheckBinVersion", "-CheckDeviceVersion"}),
            (Reports{{102, PackVersion("1.10")}, {103, PackVersion("1.05")}}));

  EXPECT_EQ(Run({"-checkbinversion"}), (Reports{{102, PackVersion("1.10")}, {103, 0}}));

  std::filesystem::remove(dir_.File("Kiln.ini"));
  EXPECT_EQ(Run({"-CheckDeviceVersion"}), (Reports{{102, 0}, {103, 0}}));
  EXPECT_TRUE(Bed().Images().empty());
}

TEST_P(CommandLineModes, SilentUpdateWritesOnlyAnOlderPrinter) {
  Start({Printer(7, "1.10")});
  Folder(7, "1.07");
  EXPECT_EQ(Run({"-S"}), (Reports{{100, 0}, {110, 0}})) << "no M: model 0 is no model";
  EXPECT_EQ(Run({"-S", "-M7", "--progress"}), (Reports{{100, 1}, {110, 1}}))
      << "1.10 compares greater than 1.07 as text";
  EXPECT_TRUE(Bed().Images().empty());
}

TEST_P(CommandLineModes, SilentUpdateReportsAndWritesTheNewImage) {
  Start({Printer(7, "1.05")});
  Folder(7, "1.10");
  EXPECT_EQ(Run({"-S", "-M7", "--progress"}), (Reports{{101, 0}, {100, 1}, {110, 11}}));
  EXPECT_EQ(Bed().Version(), "1.10");
  ASSERT_EQ(Bed().Images().size(), 1u);
  EXPECT_EQ(Bed().Images()[0].bytes.size(), 0x20000u);
}

TEST_P(CommandLineModes, ChecksumErrorAfterProgrammingReportsFailure) {
  Start({Printer(7, "1.05").ErrorAfterProgramming(sim::AlertForDetail(0x0406, 0x00030302))});
  Folder(7, "1.10");
  EXPECT_EQ(Run({"-S", "-M7"}), (Reports{{101, 0}, {100, 1}, {110, 12}}));
}

TEST_P(CommandLineModes, Model6AtVersion107SkipsTheCpuStep) {
  Start({Printer(6, "1.07")});
  Folder(6, "1.10", {"Cpu1st=1", "CpuFile=cpu.bin"})
      .Package("cpu.bin", 6, "0.50", {.size = 0x8000, .headerOffset = config::kHeaderOffsetCpu});
  EXPECT_EQ(Run({"-S", "-M6"}), (Reports{{101, 0}, {100, 1}, {110, 11}}));
  ASSERT_EQ(Bed().Images().size(), 1u) << "the main image only";
  EXPECT_EQ(Bed().Images()[0].writeType, 0);
  EXPECT_EQ(Bed().Version(), "1.10");
}

TEST_P(CommandLineModes, UnreadablePrinterVersionIsNotCompared) {
  Start({Printer(7, "1.05").Silent(sim::CommandMatch::Code(0x0100))});
  Folder(7, "1.10");
  EXPECT_EQ(Run({"-S", "-M7"}), (Reports{{100, 0}, {110, 0}}));
  EXPECT_TRUE(Bed().Images().empty());
}

TEST_P(CommandLineModes, MissingWindowDoesNotStopTheUpdate) {
  Start({Printer(7, "1.05")});
  Folder(7, "1.10");
  if (receiver_) window_ = receiver_->GoneWindow();
  const Reports reports = Run({"-S", "-M7"});
  if (GetParam() == ReportPath::kStandardOutput) {
    EXPECT_EQ(reports, (Reports{{101, 0}, {100, 1}, {110, 11}}));
  } else {
    EXPECT_TRUE(reports.empty());
  }
  EXPECT_EQ(Bed().Version(), "1.10") << "the update ran to its end";
}

TEST_P(CommandLineModes, SecondInstanceSendsNothing) {
  Start({Printer(7, "1.05")});
  Folder(7, "1.10");
  const std::string firstOut = dir_.File("first.txt");
  ChildProcess first(Command({"-S", "-M7"}), firstOut);
  // The first instance runs until its count-down is over; start the second meanwhile.
  const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
  while (Bed().Images().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const uint32_t firstWindow = window_;
  if (receiver_) window_ = receiver_->NewWindow();
  EXPECT_EQ(Run({"-S", "-M7"}), Reports{});
  EXPECT_EQ(first.WaitFor(kRunLimit), 0);
  EXPECT_EQ(ReportsOf(firstOut, firstWindow), (Reports{{101, 0}, {100, 1}, {110, 11}}));
}

// With --json, a Kiln that finds another running says so in its mode's object, and
// writes nothing else: an integrator tells it from a crash.
TEST_P(CommandLineModes, JsonSaysWhenAnotherKilnRuns) {
  Folder(7, "1.10");
  const auto other = platform::InstanceLock::TryAcquire();
  ASSERT_TRUE(other.has_value());
  for (const auto& [option, mode] :
       {std::pair{"-S", "silent-update"}, std::pair{"-CheckBinVersion", "version-report"}}) {
    const std::string out = dir_.File("second.json");
    ChildProcess second(Command({option, "-M7", "--json"}), out);
    EXPECT_EQ(second.WaitFor(kRunLimit), 0);
    EXPECT_EQ(kiln::testing::TempDir::Read(out),
              std::string("{\"mode\":\"") + mode +
                  "\",\"package\":null,\"printers\":[],\"reports\":[],"
                  "\"result\":\"another-kiln-running\"}\n");
  }
}

// A silent update names, with --json, each printer of the model and whether it already
// had the package's version: one that had it is left alone, the older one is updated.
TEST_P(CommandLineModes, JsonOfAnUpdateNamesEveryPrinter) {
  Start({Printer(7, "1.10"), Printer(7, "1.05")});
  Folder(7, "1.10");
  const std::string out = dir_.File("update.json");
  ChildProcess kiln(Command({"-S", "-M7", "--json"}), out);
  EXPECT_EQ(kiln.WaitFor(kRunLimit), 0);
  const auto result = nlohmann::json::parse(kiln::testing::TempDir::Read(out));
  ASSERT_EQ(result["printers"].size(), 2u) << result;
  EXPECT_EQ(result["printers"][0]["version_before"], "1.10");
  EXPECT_EQ(result["printers"][0]["outcome"], "current");
  EXPECT_EQ(result["printers"][1]["version_before"], "1.05");
  EXPECT_EQ(result["printers"][1]["outcome"], "updated");
  EXPECT_EQ(result["result"], "update written");
  EXPECT_TRUE(Bed().Images().empty());
}

// Whether the kiln program runs in the process and takes the stop signals itself: it
// blocks them, for its signal thread to wait for, and only them. (Until the program is
// executed, and for moments inside the test bed's preload library, every signal is
// blocked.)
bool TakesStopSignals(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  bool kiln = false;
  while (std::getline(status, line)) {
    if (line.rfind("Name:", 0) == 0) kiln = line == "Name:\tkiln";
    if (line.rfind("SigBlk:", 0) == 0) {
      const unsigned long long blocked = std::stoull(line.substr(7), nullptr, 16);
      const auto has = [&](int signal) { return (blocked >> (signal - 1) & 1) != 0; };
      return kiln && has(SIGINT) && has(SIGTERM) && has(SIGHUP) && !has(SIGUSR1);
    }
  }
  return false;
}

// A stop signal at the first moment Kiln can take one, in each command-line mode: the
// mode ends as it does after any stop before a download, with its reports and its JSON,
// and nothing is sent to the printer.
TEST_P(CommandLineModes, StopSignalWhileStartingStillEndsWithReports) {
  Start({Printer(7, "1.05")});
  Folder(7, "1.10");
  const struct {
    const char* option;
    Reports reports;
  } kModes[] = {{"-S", {{100, 0}, {110, 12}}},
                {"-CheckBinVersion", {{102, PackVersion("1.10")}, {103, 0}}}};
  for (const auto& [option, expected] : kModes) {
    const std::string out = dir_.File("stdout.txt");
    ChildProcess kiln(Command({option, "-M7"}), out);
    const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
    bool taken = false;
    while (!(taken = TakesStopSignals(kiln.pid())) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    ASSERT_TRUE(taken) << option << ": stop signals are not taken";
    ASSERT_EQ(::kill(kiln.pid(), SIGINT), 0);
    EXPECT_EQ(kiln.WaitFor(kRunLimit), 0) << option << ": not ended by the signal";
    EXPECT_EQ(ReportsOf(out, window_), expected) << option;
  }
  EXPECT_TRUE(Bed().Images().empty());
}

// A folder name that is not UTF-8 reaches the JSON object as replacement characters,
// never as a failure to print it.
TEST_P(CommandLineModes, JsonCarriesAFileNameThatIsNotUtf8) {
  Folder(7, "1.10");
  const std::filesystem::path folder = dir_.path() / "fw\xFF\xFE";
  std::filesystem::create_directory(folder);
  std::filesystem::copy(dir_.File("fw.bin"), folder / "fw.bin");
  std::filesystem::copy(dir_.File("Kiln.ini"), folder / "Kiln.ini");
  const std::string out = dir_.File("report.json");
  ChildProcess kiln({KILN_PROGRAM, "--dir", folder.string(), "-CheckBinVersion", "--json"}, out);
  EXPECT_EQ(kiln.WaitFor(kRunLimit), 0);
  const std::string json = kiln::testing::TempDir::Read(out);
  EXPECT_NE(json.find("/fw\xEF\xBF\xBD\xEF\xBF\xBD/fw.bin\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"result\":\"package version read\""), std::string::npos) << json;
}

INSTANTIATE_TEST_SUITE_P(ReportPaths, CommandLineModes,
                         ::testing::Values(ReportPath::kWindow, ReportPath::kStandardOutput),
                         [](const auto& param) {
                           return param.param == ReportPath::kWindow ? "X11Window" : "Stdout";
                         });

}  // namespace
}  // namespace kiln
