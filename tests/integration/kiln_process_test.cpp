// The kiln program as a process on the test bed: a stop signal in the middle of a silent
// update, a window mode without a display, and help while another Kiln runs.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "config/firmware_package.h"
#include "platform/unique_fd.h"
#include "support/child_process.h"
#include "support/package_builder.h"
#include "support/private_cupsd.h"
#include "support/temp_dir.h"
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
    sim::VirtualPrinterConfig printer;
    printer.model = 7;
    printer.version = "1.05";
    printer.serialNumber = "SIG1";
    Start({printer});
    dir_.Write("fw.bin", kiln::testing::MakePackage(0x20000, config::kHeaderOffsetMain,
                                                    sim::ProductIdOfModel(7), 3, 3, "1.10"));
    dir_.Write("Kiln.ini", "[FW_INFO1]\nFile=fw.bin\nDelay2=10\n");
  }

  std::vector<std::string> Silent() const {
    return {KILN_PROGRAM, "--dir",           dir_.path().string(), "-S",
            "-M7",        "--report-stdout", "--progress"};
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

TEST_F(KilnProcess, StopSignalDuringTheCountdownLetsTheUpdateEndAndResumesTheQueue) {
  if (!testing::CupsdAvailable()) GTEST_SKIP() << "cupsd or lpadmin is not installed";
  testing::PrivateCupsd cupsd;
  ASSERT_TRUE(cupsd.Start());
  ASSERT_TRUE(cupsd.AddQueue("Photo", kDriver));
  PrinterAndFolder();
  const std::string out = dir_.File("stdout.txt");
  ChildProcess kiln(Silent(), out);
  ASSERT_TRUE(WaitForImage());
  EXPECT_EQ(testing::QueueStopped("Photo"), true) << "held while the printer programs";
  ASSERT_EQ(::kill(kiln.pid(), SIGTERM), 0);
  ::kill(kiln.pid(), SIGINT);  // a second one changes nothing

  EXPECT_EQ(kiln.WaitFor(kRunLimit), 0);
  EXPECT_EQ(TempDir::Read(out), "report 101 0\nreport 100 1\nreport 110 11\n");
  EXPECT_EQ(bed_->Printer(0).Version(), "1.10") << "checked after its restart";
  EXPECT_EQ(testing::QueueStopped("Photo"), false) << "the queue runs again";
}

TEST_F(KilnProcess, StopSignalBeforeTheUpdateSendsNothingAndReportsAFailure) {
  PrinterAndFolder();
  // Sent once the program asks the printer for its state: start-up is past, the versions
  // are not compared yet (the pauses are real, so the comparison is far off).
  const std::string out = dir_.File("stdout.txt");
  ::setenv("KILN_TIME_SCALE", "1", 1);
  ChildProcess kiln(Silent(), out);
  const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
  while (bed_->Printer(0).Transcript().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(::kill(kiln.pid(), SIGTERM), 0);
  EXPECT_EQ(kiln.WaitFor(kRunLimit), 0);
  const std::string reports = TempDir::Read(out);
  EXPECT_EQ(reports.find("report 101 0"), std::string::npos) << reports;
  EXPECT_NE(reports.find("report 110 12"), std::string::npos) << reports;
  EXPECT_TRUE(bed_->Printer(0).Images().empty());
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
  }
  ::unsetenv("QT_QPA_PLATFORM");
  ::unsetenv("WAYLAND_DISPLAY");
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
