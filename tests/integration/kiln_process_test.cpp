// The kiln program as a process on the test bed: each stop signal in the middle of a
// silent update and in the window, a window mode without a display, and help while
// another Kiln runs.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "config/firmware_package.h"
#include "platform/linux/unique_fd.h"
#include "support/child_process.h"
#include "support/printer_builder.h"
#include "support/private_cupsd.h"
#include "support/program_folder_builder.h"
#include "support/temp_dir.h"
#include "support/x_display.h"
#include "test_bed_fixture.h"

namespace kiln {
namespace {

using namespace std::chrono_literals;
using kiln::testing::ChildProcess;
using kiln::testing::TempDir;

constexpr const char* kDriver = "Orvix Photo Printer T08";
constexpr auto kRunLimit = 60s;

class KilnProcess : public kiln::testing::TestBedTest {
 protected:
  void SetUp() override {
    ::setenv("KILN_TIME_SCALE", "0.05", 1);
    ::unsetenv("DISPLAY");
    TestBedTest::SetUp();
  }
  void TearDown() override {
    ::unsetenv("KILN_TIME_SCALE");
    TestBedTest::TearDown();
  }

  // An M07 at 1.05 and a folder whose package (1.10) is programmed in 3 seconds and
  // counted down for 10 more.
  void PrinterAndFolder() {
    Start({kiln::testing::PrinterBuilder(7).Version("1.05").Serial("SIG1")});
    kiln::testing::ProgramFolderBuilder(dir_)
        .Package("fw.bin", 7, "1.10", {.size = 0x20000})
        .Entry(1, {"File=fw.bin", "Delay2=10"});
  }

  std::vector<std::string> Silent() const {
    return {KILN_PROGRAM, "--dir",           dir_.path().string(), "-S",
            "-M7",        "--report-stdout", "--progress"};
  }

  // The command run through a shell that sends its standard error to errFile.
  static std::vector<std::string> WithStandardError(std::vector<std::string> command,
                                                    const std::string& errFile) {
    command.insert(command.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>" + errFile});
    return command;
  }
  static std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
  }

  // Waits until the printer has been asked something.
  bool WaitForTranscript() {
    const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
    while (bed_->Printer(0).Transcript().empty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
    }
    return !bed_->Printer(0).Transcript().empty();
  }

  // Waits until the printer holds its new image (the count-down has begun).
  bool WaitForImage() {
    const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
    while (bed_->Printer(0).Images().empty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
    }
    return !bed_->Printer(0).Images().empty();
  }

  TempDir dir_;
};

// Each stop signal, during the count-down: said once on standard error, the update ends
// (checked, its queue resumed), and a second signal changes nothing.
class StopSignal : public KilnProcess, public ::testing::WithParamInterface<int> {};

TEST_P(StopSignal, DuringTheCountdownIsSaidLetsTheUpdateEndAndResumesTheQueue) {
  std::unique_ptr<testing::PrivateCupsd> cupsd;
  if (testing::CupsdAvailable()) {
    cupsd = std::make_unique<testing::PrivateCupsd>();
    ASSERT_TRUE(cupsd->Start());
    ASSERT_TRUE(cupsd->AddQueue("Photo", kDriver));
  }
  PrinterAndFolder();
  const std::string out = dir_.File("stdout.txt");
  const std::string err = dir_.File("stderr.txt");
  ChildProcess kiln(WithStandardError(Silent(), err), out);
  ASSERT_TRUE(WaitForImage());
  if (cupsd) {
    EXPECT_EQ(testing::QueueStopped("Photo"), true) << "held while the printer programs";
  }
  ASSERT_EQ(::kill(kiln.pid(), GetParam()), 0);
  ::kill(kiln.pid(), SIGINT);  // a second one changes nothing

  EXPECT_EQ(kiln.WaitFor(kRunLimit), 0);
  EXPECT_EQ(TempDir::Read(out), "report 101 0\nreport 100 1\nreport 110 11\n");
  const std::string said = TempDir::Read(err);
  EXPECT_EQ(CountOf(said, "kiln: warning: a stop was requested: the printer's update ends first"),
            1u)
      << said;
  EXPECT_EQ(bed_->Printer(0).Version(), "1.10") << "checked after its restart";
  if (cupsd) {
    EXPECT_EQ(testing::QueueStopped("Photo"), false) << "the queue runs again";
  }
}

INSTANTIATE_TEST_SUITE_P(EachStopSignal, StopSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& row) { return std::string(sigabbrev_np(row.param)); });

// The window, idle on a private X server, closes at the first stop signal.
TEST_F(KilnProcess, WindowClosesAtTheFirstStopSignal) {
  testing::XvfbServer server;
  if (server.display().empty()) GTEST_SKIP() << "Xvfb is not installed or did not start";
  ::setenv("DISPLAY", server.display().c_str(), 1);
  ::unsetenv("QT_QPA_PLATFORM");
  PrinterAndFolder();
  // Without a print queue for the driver the window would not ask the printer.
  dir_.Write("Kiln.ini", "[FW_INFO1]\nFile=fw.bin\nNoCheckDriver=1\n");
  ChildProcess kiln({KILN_PROGRAM, "--dir", dir_.path().string()});
  ASSERT_TRUE(WaitForTranscript()) << "the window never asked the printer";
  ::unsetenv("DISPLAY");
  ASSERT_EQ(::kill(kiln.pid(), SIGTERM), 0);
  EXPECT_EQ(kiln.WaitFor(20s), 0) << "the window did not close";
}

TEST_F(KilnProcess, StopSignalBeforeTheUpdateSendsNothingAndReportsAFailure) {
  PrinterAndFolder();
  // Sent once the program asks the printer for its state: start-up is past, the versions
  // are not compared yet (the pauses are real, so the comparison is far off).
  const std::string out = dir_.File("stdout.txt");
  ::setenv("KILN_TIME_SCALE", "1", 1);
  ChildProcess kiln(Silent(), out);
  ASSERT_TRUE(WaitForTranscript());
  ASSERT_EQ(::kill(kiln.pid(), SIGTERM), 0);
  EXPECT_EQ(kiln.WaitFor(kRunLimit), 0);
  const std::string reports = TempDir::Read(out);
  EXPECT_EQ(reports.find("report 101 0"), std::string::npos) << reports;
  EXPECT_NE(reports.find("report 110 12"), std::string::npos) << reports;
  EXPECT_TRUE(bed_->Printer(0).Images().empty());
}

// A run killed outright (no chance to let go of anything) while it asks the printer leaves
// the printer, its claim and the instance lock to the next run, which updates it.
TEST_F(KilnProcess, RunKilledOutrightLeavesThePrinterToTheNextRun) {
  PrinterAndFolder();
  ::setenv("KILN_TIME_SCALE", "1", 1);  // killed long before the versions are compared
  ChildProcess killed(Silent());
  ASSERT_TRUE(WaitForTranscript());
  ASSERT_EQ(::kill(killed.pid(), SIGKILL), 0);
  killed.WaitFor(kRunLimit);
  ASSERT_FALSE(killed.started()) << "the killed run is gone";
  ASSERT_TRUE(bed_->Printer(0).Images().empty());

  ::setenv("KILN_TIME_SCALE", "0.05", 1);
  const std::string out = dir_.File("stdout.txt");
  ChildProcess next(Silent(), out);
  EXPECT_EQ(next.WaitFor(kRunLimit), 0);
  EXPECT_EQ(TempDir::Read(out), "report 101 0\nreport 100 1\nreport 110 11\n");
  EXPECT_EQ(bed_->Printer(0).Version(), "1.10");
}

TEST_F(KilnProcess, WindowWithoutADisplayEndsWithStatusOneAndSaysWhy) {
  ::unsetenv("WAYLAND_DISPLAY");
  ::unsetenv("QT_QPA_PLATFORM");
  const std::string err = dir_.File("stderr.txt");
  ChildProcess kiln({"/bin/sh", "-c", std::string(KILN_PROGRAM) + " --dir /nonexistent 2>" + err});
  EXPECT_EQ(kiln.WaitFor(kRunLimit), 1) << "no abort, no core file";
  EXPECT_EQ(TempDir::Read(err),
            "kiln: no display: use -S or -CheckDeviceVersion for the command-line modes, or "
            "set DISPLAY\n");
}

// Platforms the toolkit cannot start here: no plugin of that name, no frame buffer, no
// graphics device, a compositor socket that nothing serves. Each ends as a missing display.
TEST_F(KilnProcess, WindowOnAPlatformThatCannotStartEndsWithStatusOne) {
  sockaddr_un socket{};
  socket.sun_family = AF_UNIX;
  const std::string path = dir_.File("wayland-0");
  path.copy(socket.sun_path, sizeof socket.sun_path - 1);
  const platform::UniqueFd bound(::socket(AF_UNIX, SOCK_STREAM, 0));
  ASSERT_EQ(::bind(bound.get(), reinterpret_cast<const sockaddr*>(&socket), sizeof socket), 0);
  ::setenv("WAYLAND_DISPLAY", path.c_str(), 1);
  for (const char* platform : {"junkplatform", "linuxfb", "eglfs", "wayland"}) {
    ::setenv("QT_QPA_PLATFORM", platform, 1);
    const std::string err = dir_.File("stderr.txt");
    ChildProcess kiln(
        {"/bin/sh", "-c", std::string(KILN_PROGRAM) + " --dir /nonexistent 2>" + err});
    EXPECT_EQ(kiln.WaitFor(kRunLimit), 1) << platform << ": no abort, no core file";
    const std::string said = TempDir::Read(err);
    EXPECT_NE(said.find("kiln: no display: "), std::string::npos) << platform << ": " << said;
    // The toolkit's own account (its warnings, then why it cannot start) comes first.
    if (std::string_view(platform) == "junkplatform") {
      EXPECT_NE(said.find("\"junkplatform\""), std::string::npos) << said;
      EXPECT_NE(said.find("no Qt platform plugin could be initialized"), std::string::npos) << said;
    }
  }
  ::unsetenv("QT_QPA_PLATFORM");
  ::unsetenv("WAYLAND_DISPLAY");
}

TEST_F(KilnProcess, UnknownOptionIsShownNotObeyed) {
  const std::string err = dir_.File("stderr.txt");
  ChildProcess kiln({"/bin/sh", "-c", std::string(KILN_PROGRAM) + " '--\x1b[2J' 2>" + err});
  EXPECT_EQ(kiln.WaitFor(kRunLimit), 2);
  EXPECT_NE(TempDir::Read(err).find("--?[2J"), std::string::npos) << TempDir::Read(err);
}

TEST_F(KilnProcess, HelpAndVersionAnswerWhileAnotherKilnRuns) {
  PrinterAndFolder();
  ChildProcess first(Silent(), dir_.File("first.txt"));
  ASSERT_TRUE(WaitForImage());
  const std::string help = dir_.File("help.txt");
  ChildProcess helpRun({KILN_PROGRAM, "--help"}, help);
  EXPECT_EQ(helpRun.WaitFor(kRunLimit), 0);
  EXPECT_NE(TempDir::Read(help).find("-CheckDeviceVersion"), std::string::npos);
  const std::string version = dir_.File("version.txt");
  ChildProcess versionRun({KILN_PROGRAM, "--version"}, version);
  EXPECT_EQ(versionRun.WaitFor(kRunLimit), 0);
  EXPECT_EQ(TempDir::Read(version).rfind("Kiln ", 0), 0u);
  EXPECT_EQ(first.WaitFor(kRunLimit), 0);
}

}  // namespace
}  // namespace kiln
