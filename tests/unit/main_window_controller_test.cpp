// The main window's state evaluation, device changes, notifications and the rules that
// hold while an update runs, on a window without widgets and in-process printers.
#include "app/main_window_controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "protocol/command_codes.h"
#include "recording_view.h"
#include "support/window_rig.h"

namespace kiln::app {
namespace {

constexpr const char* kEntry1 = "[FW_INFO1]\nModel=M07\nFile=fw7.bin\n";
constexpr const char* kReady =
    "Ready to work. Press START to go!\n\n"
    "Notice! Don't plug out USB until finish updating firmware.";
constexpr const char* kDisconnected =
    "Printer is not connected!\n\nPlease plug in the printer to continue.";
constexpr const char* kQueue = "A print queue could not be paused.";

class Window : public ::testing::Test {
 protected:
  MainWindowController& Controller() {
    if (!controller_) {
      WindowServices services;
      services.installedPrinters = &rig_.installed;
      services.links = rig_.printers.Links();
      services.clock = &rig_.printers.clock;
      services.unreachablePrinters = [this](uint16_t vendorId, uint16_t productId) {
        probed.emplace_back(vendorId, productId);
        return unreachable;
      };
      controller_ = std::make_unique<MainWindowController>(rig_.session, view_, services);
    }
    return *controller_;
  }
  // Evaluates the window from scratch and returns the status it shows.
  std::string Evaluate() {
    Controller().Initialise(true);
    Settle();
    return view_.LastStatus();
  }
  // Runs what the controller handed to the window's thread until no evaluation is left.
  void Settle() {
    for (int i = 0; i < 4000 && Controller().Evaluating(); ++i) {
      if (!view_.Pump()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_FALSE(Controller().Evaluating());
  }
  // Serves the worker as the window's thread would until its end has been handled.
  void FinishUpdate() {
    for (int i = 0; i < 4000 && (Controller().WorkerRunning() || Controller().Evaluating()); ++i) {
      if (!view_.Pump()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(Controller().WorkerRunning() || Controller().Evaluating());
  }

  testing::WindowRig rig_;
  RecordingView view_;
  std::vector<std::string> unreachable;  // what the USB probe finds
  std::vector<std::pair<uint16_t, uint16_t>> probed;
  std::unique_ptr<MainWindowController> controller_;
};

TEST_F(Window, EveryStatusAndStartOnlyWhenReady) {
  view_.startEnabled = true;
  EXPECT_FALSE(Controller().OnExit()) << "not before the first evaluation";
  Controller().Initialise(false);
  EXPECT_EQ(view_.LastStatus(), "Can't find Kiln.ini!\n\nPlease download the file again.");
  EXPECT_FALSE(view_.startEnabled);
  EXPECT_FALSE(view_.colourModeShown);

  rig_.Ini(kEntry1);
  EXPECT_EQ(Evaluate(), "Can't open firmware bin file!\n\nPlease download the file again.");
  EXPECT_FALSE(view_.startEnabled);

  rig_.dir.Write("fw7.bin", std::string(0x2000, 'x'));
  EXPECT_EQ(Evaluate(), "The file is not valid firmware file!\n\nPlease download the file again.");
  EXPECT_FALSE(view_.startEnabled);

  rig_.Package("fw7.bin", 7, "1.06");
  rig_.installed.count = 0;
  EXPECT_EQ(Evaluate(),
            "There is no printer driver installed!\n\nPlease install correct printer driver "
            "first before you run this program.");
  EXPECT_FALSE(view_.startEnabled);

  rig_.installed.count = 1;
  EXPECT_EQ(Evaluate(), kDisconnected);
  EXPECT_FALSE(view_.startEnabled);
  EXPECT_EQ(view_.versions.back(), "N/A");

  rig_.Printer(7, "1.05");
  EXPECT_EQ(Evaluate(), kReady);
  EXPECT_TRUE(view_.startEnabled);
  EXPECT_EQ(view_.versions.back(), "1.05");
  EXPECT_EQ(view_.packageVersion, "1.06");
}

TEST_F(Window, NoCheckDriverGoesOnToThePrinter) {
  rig_.Ini(std::string(kEntry1) + "NoCheckDriver=1\n");
  rig_.Package("fw7.bin", 7, "1.06");
  rig_.installed.count = 0;
  EXPECT_EQ(Evaluate(), kDisconnected) << "the probe ran";
  EXPECT_EQ(rig_.installed.asked.size(), 1u) << "the driver check still ran";
}

TEST_F(Window, SecondEntryServesWhenOnlyItFindsAPrinter) {
  rig_.Ini(std::string(kEntry1) + "SupportModel2=1\n[FW_INFO2]\nModel=M08\nFile=fw8.bin\n");
  rig_.Package("fw7.bin", 7, "1.06");
  rig_.Package("fw8.bin", 8, "1.06");
  EXPECT_EQ(Evaluate(), kDisconnected);
  EXPECT_EQ(Controller().ActiveEntry(), 1);

  // Entry 2's package missing: still entry 1's status, not entry 2's.
  std::filesystem::remove(rig_.dir.File("fw8.bin"));
  EXPECT_EQ(Evaluate(), kDisconnected);
  EXPECT_EQ(Controller().ActiveEntry(), 1);

  rig_.Package("fw8.bin", 8, "1.06");
  rig_.Printer(8);
  EXPECT_EQ(Evaluate(), kReady);
  EXPECT_EQ(Controller().ActiveEntry(), 2);
  EXPECT_EQ(Controller().TargetModel(), 8u);
}

TEST_F(Window, NoDowngradeRefusesAnOlderPackage) {
  rig_.Ini(std::string(kEntry1) + "DisableOverwriteNewer=1\nEnableTableSwitch=1\n");
  rig_.Package("fw7.bin", 7, "1.06");
  rig_.Printer(7, "1.07");
  EXPECT_EQ(Evaluate(),
            "The firmware on device is newer than this version, you can not downgrade the "
            "firmware.\n\n");
  EXPECT_FALSE(view_.startEnabled);
  EXPECT_FALSE(view_.colourModeEnabled);

  rig_.Ini(std::string(kEntry1) + "DisableOverwriteNewer=0\n");
  EXPECT_EQ(Evaluate(), kReady);
  EXPECT_TRUE(view_.startEnabled);

  rig_.Ini(std::string(kEntry1) + "DisableOverwriteNewer=1\n");
  rig_.Package("fw7.bin", 7, "1.07");
  EXPECT_EQ(Evaluate(), kReady) << "the same version is no downgrade";
}

// The compare looks at every printer: a newer first printer does not refuse START for an
// older second one, and START then updates the older one and leaves the newer one alone.
TEST_F(Window, NoDowngradeLetsAnOlderPrinterBeUpdatedBesideANewerOne) {
  rig_.Ini(std::string(kEntry1) + "DisableOverwriteNewer=1\n");
  rig_.Package("fw7.bin", 7, "1.06");
  sim::VirtualPrinter& newer = rig_.Printer(7, "1.07");
  sim::VirtualPrinter& older = rig_.Printer(7, "1.05");
  ASSERT_EQ(Evaluate(), kReady);
  EXPECT_TRUE(view_.startEnabled);
  Controller().OnStart();
  FinishUpdate();
  EXPECT_TRUE(newer.Images().empty()) << "never downgraded";
  EXPECT_EQ(older.Images().size(), 1u);
}

// A first printer the user may not open neither hides the second nor goes unmentioned:
// the status line names it with its reason, and the version shown is the second's.
TEST_F(Window, AnUnopenablePrinterIsNamedAndTheNextOneAnswers) {
  rig_.Ini(kEntry1);
  rig_.Package("fw7.bin", 7, "1.06");
  rig_.printers.Add(kiln::testing::PrinterBuilder(7).Version("1.01").NoAccess());
  rig_.Printer(7, "1.05");
  EXPECT_EQ(Evaluate(), std::string(kReady) +
                            "\nPrinter at 1-1 could not be opened: permission denied on "
                            "/dev/usb/lp0.");
  EXPECT_TRUE(view_.startEnabled);
  EXPECT_EQ(view_.versions.back(), "1.05");
}

TEST_F(Window, RemovalOfAnotherPrinterLeavesTheStatus) {
  rig_.Ini(kEntry1);
  rig_.Package("fw7.bin", 7, "1.06");
  sim::VirtualPrinter& target = rig_.Printer(7, "1.05");
  sim::VirtualPrinter& other = rig_.Printer(8);
  ASSERT_EQ(Evaluate(), kReady);
  const auto packetsBefore = target.Transcript().size();

  other.Unplug();
  Controller().OnDeviceChange(DeviceChange::kRemovalComplete);
  Settle();
  EXPECT_EQ(view_.LastStatus(), kReady);
  EXPECT_TRUE(view_.startEnabled);
  EXPECT_EQ(view_.versions.back(), "1.05");
  EXPECT_EQ(target.Transcript().size(), packetsBefore) << "counted, not opened";

  target.Unplug();
  Controller().OnDeviceChange(DeviceChange::kRemovalComplete);
  Settle();
  EXPECT_EQ(view_.LastStatus(), std::string(kDisconnected) + "\n");
  EXPECT_FALSE(view_.startEnabled);
  EXPECT_EQ(view_.versions.back(), "N/A");

  target.Plug();
  Controller().OnDeviceChange(DeviceChange::kArrival);
  Settle();
  EXPECT_EQ(view_.LastStatus(), kReady);
  EXPECT_EQ(view_.versions.back(), "1.05");
}

TEST_F(Window, ArrivalAfterAFailedCheckDoesNotProbe) {
  rig_.Ini(kEntry1);
  rig_.Package("fw7.bin", 7, "1.06");
  sim::VirtualPrinter& printer = rig_.Printer(7);
  ASSERT_EQ(Evaluate(), kReady);
  const auto packetsBefore = printer.Transcript().size();

  rig_.dir.Write("fw7.bin", std::string(0x2000, 'x'));
  Controller().OnDeviceChange(DeviceChange::kArrival);
  Settle();
  EXPECT_EQ(view_.LastStatus(),
            "The file is not valid firmware file!\n\nPlease download the file again.");
  EXPECT_FALSE(view_.startEnabled);
  EXPECT_EQ(printer.Transcript().size(), packetsBefore);
}

TEST_F(Window, StartStopsWhenThePackageWentBad) {
  rig_.Ini(kEntry1);
  rig_.Package("fw7.bin", 7, "1.06");
  sim::VirtualPrinter& printer = rig_.Printer(7);
  ASSERT_EQ(Evaluate(), kReady);

  rig_.dir.Write("fw7.bin", std::string(0x2000, 'x'));
  Controller().OnStart();
  EXPECT_FALSE(Controller().WorkerRunning());
  EXPECT_FALSE(Controller().Busy());
  EXPECT_EQ(view_.LastStatus(),
            "The file is not valid firmware file!\n\nPlease download the file again.");
  EXPECT_FALSE(view_.startEnabled);
  EXPECT_TRUE(view_.exitEnabled);
  EXPECT_TRUE(printer.Images().empty());
}

TEST_F(Window, NothingButTheUpdateRunsWhileItIsBusy) {
  rig_.Ini(std::string(kEntry1) + "NotWaitBurnOK=1\n");
  rig_.Package("fw7.bin", 7, "1.06");
  sim::VirtualPrinter& printer = rig_.Printer(7, "1.05");
  ASSERT_EQ(Evaluate(), kReady);
  int dialogsOpened = 0;
  Controller().SetMaintenanceDialogs(
      {[&](int) { return ++dialogsOpened, true; }, [&] { return ++dialogsOpened, true; }});
  // A click on Exit the moment it is offered again must close the window, not be dropped.
  std::vector<bool> exitHonoured;
  view_.onExitOffered = [&] { exitHonoured.push_back(Controller().OnExit()); };

  Controller().OnStart();
  EXPECT_TRUE(Controller().Busy());
  EXPECT_FALSE(view_.startEnabled);
  EXPECT_FALSE(view_.exitEnabled);
  Controller().OnStart();  // a double click
  EXPECT_FALSE(Controller().OnExit());
  Controller().OnLeftClick(3, 3, true, false);
  Controller().OnLeftClick(3, 3, true, true);
  Controller().OnCurrentVersionClicked();
  Controller().OnDeviceChange(DeviceChange::kRemovalComplete);
  Controller().OnDeviceChange(DeviceChange::kArrival);
  FinishUpdate();

  EXPECT_EQ(printer.Images().size(), 1u) << "one update, however often START was pressed";
  EXPECT_EQ(dialogsOpened, 0);
  // The device changes made during the update are looked at once, after it; the
  // printer is ready, so the update's outcome stays on screen.
  ASSERT_GE(view_.statuses.size(), 3u);
  EXPECT_EQ(view_.statuses[view_.statuses.size() - 2], kReady);
  EXPECT_EQ(view_.LastStatus(), "Write firmware done!");
  EXPECT_TRUE(view_.startEnabled);
  EXPECT_EQ(exitHonoured, std::vector<bool>{true});
  EXPECT_TRUE(Controller().OnExit());

  Controller().OnLeftClick(12, 10, true, false);
  EXPECT_EQ(dialogsOpened, 1);
}

TEST_F(Window, StopSignalDuringTheUpdateClosesTheWindowOnlyAfterIt) {
  rig_.Ini(std::string(kEntry1) + "NotWaitBurnOK=1\n");
  rig_.Package("fw7.bin", 7, "1.06");
  sim::VirtualPrinter& printer = rig_.Printer(7, "1.05");
  ASSERT_EQ(Evaluate(), kReady);
  EXPECT_TRUE(Controller().OnStopRequested()) << "nothing under way: the window may close";

  Controller().OnStart();
  EXPECT_FALSE(Controller().OnStopRequested());
  EXPECT_NE(view_.LastStatus().find("the update of the printer ends first"), std::string::npos);
  EXPECT_FALSE(view_.closed);
  FinishUpdate();
  EXPECT_EQ(printer.Images().size(), 1u) << "the update ran to its end";
  EXPECT_TRUE(view_.closed);
}

TEST_F(Window, WindowToldToGoDuringTheUpdateWaitsForItAndEvaluatesNothingAfter) {
  rig_.Ini(std::string(kEntry1) + "NotWaitBurnOK=1\n");
  rig_.Package("fw7.bin", 7, "1.06");
  sim::VirtualPrinter& printer = rig_.Printer(7, "1.05");
  ASSERT_EQ(Evaluate(), kReady);
  const std::size_t asked = rig_.installed.asked.size();

  Controller().OnStart();
  Controller().StopEvaluation();
  EXPECT_TRUE(Controller().WorkerRunning()) << "the window waits for the update";
  Controller().OnDeviceChange(DeviceChange::kArrival);
  FinishUpdate();
  EXPECT_EQ(printer.Images().size(), 1u);
  EXPECT_EQ(rig_.installed.asked.size(), asked) << "no evaluation for a window that goes";
  EXPECT_EQ(view_.LastStatus(), "Write firmware done!");
}

TEST_F(Window, ColourTableForgottenWhenTheEntryChanges) {
  rig_.Ini(std::string(kEntry1) + "SupportModel2=1\n[FW_INFO2]\nModel=M08\nFile=fw8.bin\n");
  rig_.Package("fw7.bin", 7, "1.06");
  rig_.Package("fw8.bin", 8, "1.06");
  sim::VirtualPrinter& seven = rig_.Printer(7);
  ASSERT_EQ(Evaluate(), kReady);
  rig_.session.colourTable = "/folder/vivid.bin";
  Controller().OnColourTableChosen();

  Controller().OnDeviceChange(DeviceChange::kArrival);
  Settle();
  EXPECT_EQ(rig_.session.colourTable, "/folder/vivid.bin");

  seven.Unplug();
  rig_.Printer(8);
  Controller().OnDeviceChange(DeviceChange::kArrival);
  Settle();
  ASSERT_EQ(Controller().ActiveEntry(), 2);
  EXPECT_TRUE(rig_.session.colourTable.empty());

  // Same entry, another model: the choice goes too.
  rig_.Ini("[FW_INFO1]\nModel=M08\nFile=fw8.bin\n");
  ASSERT_EQ(Evaluate(), kReady);
  ASSERT_EQ(Controller().ActiveEntry(), 1);
  rig_.session.colourTable = "/folder/vivid.bin";
  Controller().OnColourTableChosen();
  rig_.Ini(kEntry1);
  rig_.Printer(7);
  Controller().OnDeviceChange(DeviceChange::kArrival);
  Settle();
  ASSERT_EQ(Controller().ActiveEntry(), 1);
  EXPECT_TRUE(rig_.session.colourTable.empty());
}

TEST_F(Window, VersionClickReadsThePrinterOnlyWhenIdle) {
  rig_.Ini(kEntry1);
  rig_.Package("fw7.bin", 7, "1.06");
  sim::VirtualPrinter& printer = rig_.Printer(7, "1.05");
  ASSERT_EQ(Evaluate(), kReady);
  const auto packets = printer.Transcript().size();
  const auto versions = view_.versions.size();
  Controller().ChangeColourMode([&](int) {
    Controller().OnCurrentVersionClicked();
    return false;
  });
  Settle();
  EXPECT_EQ(printer.Transcript().size(), packets) << "nothing asked while the dialog was open";
  EXPECT_EQ(Controller().Phase(), WindowPhase::kIdle);
  Controller().OnCurrentVersionClicked();
  Settle();
  EXPECT_GT(printer.Transcript().size(), packets);
  EXPECT_EQ(view_.versions.size(), versions + 1);
}

TEST_F(Window, DeviceChangeWhileTheColourDialogIsOpenWaitsForItToClose) {
  rig_.Ini(std::string(kEntry1) + "SupportModel2=1\n[FW_INFO2]\nModel=M08\nFile=fw8.bin\n");
  rig_.Package("fw7.bin", 7, "1.06");
  rig_.Package("fw8.bin", 8, "1.06");
  sim::VirtualPrinter& seven = rig_.Printer(7);
  ASSERT_EQ(Evaluate(), kReady);
  const std::size_t statusesBefore = view_.statuses.size();

  int entrySeenByDialog = 0;
  Controller().ChangeColourMode([&](int entry) {
    seven.Unplug();
    rig_.Printer(8);
    Controller().OnDeviceChange(DeviceChange::kRemovalComplete);
    Controller().OnDeviceChange(DeviceChange::kArrival);
    EXPECT_EQ(Controller().ActiveEntry(), 1) << "nothing changes under the open dialog";
    EXPECT_EQ(view_.statuses.size(), statusesBefore);
    entrySeenByDialog = entry;
    rig_.session.colourTable = "/folder/vivid.bin";  // chosen for entry 1
    return true;
  });
  Settle();
  EXPECT_EQ(entrySeenByDialog, 1);
  EXPECT_EQ(Controller().ActiveEntry(), 2) << "one evaluation after the dialog closed";
  EXPECT_EQ(view_.LastStatus(), kReady);
  EXPECT_TRUE(rig_.session.colourTable.empty()) << "entry 1's table is not used";
}

TEST_F(Window, AlternativeSetIsDecidedAfreshAtEachStart) {
  rig_.Ini(std::string(kEntry1) + "NotWaitBurnOK=1\n");
  rig_.Package("fw7.bin", 7, "1.06");
  sim::VirtualPrinter& printer = rig_.Printer(7, "1.05");
  ASSERT_EQ(Evaluate(), kReady);
  Controller().OnStart();
  FinishUpdate();
  EXPECT_EQ(printer.Images().size(), 1u);
  EXPECT_EQ(view_.LastStatus(), "Write firmware done!");
  EXPECT_TRUE(view_.startEnabled && view_.exitEnabled && view_.colourModeEnabled)
      << "the buttons are back after the update";
}

// START reads each file of the update once, whichever roles name it, and the update sends
// from those bytes: the trace shows one read per file.
TEST_F(Window, StartReadsEachPackageFileOnce) {
  rig_.Ini(std::string(kEntry1) +
           "NotWaitBurnOK=1\nCodeName=fw7.bin\nTableName=table.bin\nFwName=fw7.bin\n");
  const std::string firmware = rig_.Package("fw7.bin", 7, "1.06");
  const std::string table = rig_.dir.Write("table.bin", "table");
  sim::VirtualPrinter& printer = rig_.Printer(7, "1.05");
  ASSERT_EQ(Evaluate(), kReady);

  const std::string trace = rig_.dir.File("trace.log");
  ::setenv("KILN_LOG_FILE", trace.c_str(), 1);
  ::setenv("KILN_LOG_LEVEL", "1", 1);
  Controller().OnStart();
  FinishUpdate();
  ::unsetenv("KILN_LOG_FILE");
  ::unsetenv("KILN_LOG_LEVEL");
  const std::string lines = testing::TempDir::Read(trace);
  const auto reads = [&lines](const std::string& path) {
    std::size_t count = 0;
    const std::string line = "Package file " + path + ": read";
    for (auto at = lines.find(line); at != std::string::npos; at = lines.find(line, at + 1)) {
      ++count;
    }
    return count;
  };
  EXPECT_EQ(reads(firmware), 1u) << lines;
  EXPECT_EQ(reads(table), 1u) << lines;
  EXPECT_EQ(printer.Images().size(), 1u);
}

// A chosen table is not sent to a printer that ignores the colour query: the evaluation
// turned table switching off, and START keeps it off.
TEST_F(Window, ColourTableNotSentToAPrinterThatIgnoresTheColourQuery) {
  rig_.Ini(std::string(kEntry1) + "EnableTableSwitch=1\nNotWaitBurnOK=1\n");
  const std::string package = testing::TempDir::Read(rig_.Package("fw7.bin", 7, "1.06"));
  sim::VirtualPrinterConfig config;
  config.model = 7;
  config.faults.silent = sim::CommandMatch::Code(protocol::cmd::kColourMode);
  sim::VirtualPrinter& printer = rig_.printers.Add(config);
  ASSERT_EQ(Evaluate(), kReady);
  ASSERT_FALSE(view_.colourModeShown);
  rig_.session.colourTable = rig_.dir.Write("vivid.bin", std::string(0x24800, 'T'));
  Controller().OnColourTableChosen();

  Controller().OnStart();
  FinishUpdate();
  const auto images = printer.Images();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(std::string(images[0].bytes.begin(), images[0].bytes.end()), package)
      << "the image without the table";
}

// An M25 entry, for the large-model rules.
class LargeModelWindow : public Window {
 protected:
  void SetUp() override { rig_.LargeModelEntry(); }
};

TEST_F(LargeModelWindow, RemovalOfAnotherPrinterLeavesAPrinterSeenAs19Ready) {
  rig_.Printer(19, "2.80");
  sim::VirtualPrinter& other = rig_.Printer(8);
  ASSERT_EQ(Evaluate(), kReady);
  other.Unplug();
  Controller().OnDeviceChange(DeviceChange::kRemovalComplete);
  Settle();
  EXPECT_EQ(view_.LastStatus(), kReady);
  EXPECT_TRUE(view_.startEnabled);
}

// A large model restarts into its new firmware on its own: the window does not wait to
// read the version back, it says so and ends.
TEST_F(LargeModelWindow, UpdateThroughStartEndsWithoutReadingTheVersionBack) {
  sim::VirtualPrinter& printer = rig_.Printer(25, "2.90");
  ASSERT_EQ(Evaluate(), kReady);
  const std::size_t versions = view_.versions.size();
  Controller().OnStart();
  FinishUpdate();
  ASSERT_EQ(printer.Files().size(), 3u);
  EXPECT_EQ(view_.versions.size(), versions) << "no version read back";
  EXPECT_EQ(view_.noticeBoxes.size(), 1u);
  EXPECT_TRUE(view_.closed);
}

// The printer work runs off the window's thread; its result reaches the window in one go.
TEST_F(Window, EvaluationKeepsTheStatusUntilItEndsAndArrivalsQueueOneMore) {
  rig_.Ini(kEntry1);
  rig_.Package("fw7.bin", 7, "1.06");
  sim::VirtualPrinter& printer = rig_.Printer(7);
  view_.ShowStatus("before");
  Controller().Initialise(true);
  ASSERT_TRUE(Controller().Evaluating());
  for (int i = 0; i < 3; ++i) Controller().OnDeviceChange(DeviceChange::kArrival);
  Controller().OnDeviceChange(DeviceChange::kRemovalComplete);
  Controller().OnStart();  // waits for the evaluation's end: nothing is sent
  EXPECT_EQ(view_.LastStatus(), "before");
  Settle();
  EXPECT_EQ(rig_.installed.asked.size(), 2u) << "the evaluation and one more for the arrivals";
  EXPECT_EQ(view_.LastStatus(), kReady);
  EXPECT_FALSE(view_.statusOffWindowThread);
  EXPECT_FALSE(Controller().WorkerRunning());
  EXPECT_TRUE(printer.Images().empty());

  // A removal alone during an evaluation is counted once it has ended.
  printer.Unplug();
  Controller().OnCurrentVersionClicked();
  Controller().OnDeviceChange(DeviceChange::kRemovalComplete);
  Settle();
  EXPECT_EQ(view_.LastStatus(), std::string(kDisconnected) + "\n");

  // Exit during an evaluation: the window may close, and what it found is not shown.
  const std::size_t shown = view_.statuses.size();
  Controller().OnCurrentVersionClicked();
  ASSERT_TRUE(Controller().Evaluating());
  EXPECT_TRUE(Controller().OnExit());
  Settle();
  EXPECT_EQ(view_.statuses.size(), shown);
}

TEST_F(Window, DownloadNotifications) {
  rig_.Ini(kEntry1);
  Controller().OnDownloadNotification(DownloadObserver::kCountdown, 12);
  EXPECT_EQ(view_.LastStatus(), "Burning flash.....12");
  Controller().OnDownloadNotification(DownloadObserver::kCountdown,
                                      DownloadObserver::kCountdownDone);
  EXPECT_EQ(view_.LastStatus(), "Burning flash.....0");

  Controller().OnDownloadNotification(DownloadObserver::kPrinterError, 0x00030001);
  EXPECT_EQ(view_.errorBoxes.back(), "SRAM error!");
  EXPECT_EQ(view_.LastStatus(), "SRAM error!");

  Controller().OnDownloadNotification(DownloadObserver::kPrinterError, 0x00ABCDEF);
  EXPECT_EQ(view_.errorBoxes.back(), "Printer error 0xABCDEF");
  EXPECT_EQ(view_.LastStatus(), "Printer error 0xABCDEF");
}

TEST_F(Window, UnreachablePrinterHintOnlyWhenDisconnectedAndSeen) {
  const std::string hint = std::string(kDisconnected) +
                           "\nPrinter seen on USB but not reachable: unplug it and plug it in "
                           "again, or close the program that uses it.";
  rig_.Ini(kEntry1);
  rig_.Package("fw7.bin", 7, "1.06");
  EXPECT_EQ(Evaluate(), kDisconnected);
  ASSERT_FALSE(probed.empty());
  EXPECT_EQ(probed.back(), (std::pair<uint16_t, uint16_t>{0x2E5A, sim::ProductIdOfModel(7)}));

  unreachable = {"1-2"};
  EXPECT_EQ(Evaluate(), hint);
  EXPECT_FALSE(view_.startEnabled);
  EXPECT_EQ(view_.versions.back(), "N/A");

  // The hint is a language key.
  rig_.Ini(std::string(kEntry1) + "[ger]\nPrinterUnreachable=Drucker belegt.\n");
  rig_.session.language.SetSection("ger");
  EXPECT_EQ(Evaluate(), std::string(kDisconnected) + "\nDrucker belegt.");
}

TEST_F(Window, WarningReachesTheStatusOnTheWindowThread) {
  rig_.Ini(kEntry1);
  Controller().OnDownloadNotification(DownloadObserver::kCountdown, 12);
  std::thread download([&] { Controller().OnWarning(kQueue); });
  while (!view_.Pump()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  download.join();
  EXPECT_FALSE(view_.statusOffWindowThread);
  EXPECT_EQ(view_.LastStatus(), std::string("Burning flash.....12\n") + kQueue);
}

TEST_F(Window, WarningStaysWithTheUpdateOutcomeOnly) {
  rig_.Ini(std::string(kEntry1) + "NotWaitBurnOK=1\n");
  rig_.Package("fw7.bin", 7, "1.06");
  rig_.Printer(7, "1.05");
  ASSERT_EQ(Evaluate(), kReady);
  Controller().OnStart();
  Controller().OnWarning(kQueue);
  FinishUpdate();
  EXPECT_FALSE(view_.statusOffWindowThread);
  EXPECT_EQ(view_.LastStatus(), std::string("Write firmware done!\n") + kQueue);
  EXPECT_EQ(Evaluate(), kReady) << "the next evaluation shows no warning";
}

// Checked in every build: the rules that keep two updates, or an update and the window's
// end, from overlapping.
TEST(WindowPhases, NoUpdateBesideOtherWorkAndNothingOnceClosing) {
  EXPECT_TRUE(PhaseChangeAllowed(WindowPhase::kIdle, WindowPhase::kUpdating));
  EXPECT_FALSE(PhaseChangeAllowed(WindowPhase::kUpdating, WindowPhase::kUpdating));
  EXPECT_FALSE(PhaseChangeAllowed(WindowPhase::kEvaluating, WindowPhase::kUpdating));
  EXPECT_FALSE(PhaseChangeAllowed(WindowPhase::kClosing, WindowPhase::kIdle));
}

}  // namespace
}  // namespace kiln::app
