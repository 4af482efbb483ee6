// The command-line modes against virtual printers in this process, with their reports
// and progress recorded, and the console form of the progress.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/caller_reports.h"
#include "app/console_progress.h"
#include "app/json_report.h"
#include "app/silent_update_mode.h"
#include "app/version_report_mode.h"
#include "config/firmware_package.h"
#include "protocol/command_codes.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"
#include "support/virtual_printer_rig.h"

namespace kiln::app {
namespace {

using Reports = std::vector<std::pair<uint32_t, uint32_t>>;

// How many commands of this code the printer received.
std::size_t Sent(const sim::VirtualPrinter& printer, uint16_t command) {
  const auto transcript = printer.Transcript();
  return static_cast<std::size_t>(std::count_if(
      transcript.begin(), transcript.end(), [&](const auto& r) { return r.command == command; }));
}

class RecordedReports final : public ReportSink {
 public:
  bool Report(uint32_t wParam, uint32_t lParam) override {
    list.emplace_back(wParam, lParam);
    return wParam != refused;
  }
  Reports list;
  uint32_t refused = 0;  // the report the caller's window does not take
};

class RecordedProgress final : public UpdateProgress {
 public:
  void Phase(UpdatePhase phase, std::string_view text) override {
    phases.push_back(phase);
    texts.emplace_back(text);
  }
  void DataSent(uint32_t sent, uint32_t total) override { data.emplace_back(sent, total); }
  void CountdownSecond(uint32_t left) override { countdown.push_back(left); }
  void Warning(std::string_view text) override { warnings.emplace_back(text); }
  std::vector<UpdatePhase> phases;
  std::vector<std::string> texts;  // each phase's text, in the same order
  std::vector<std::string> warnings;
  std::vector<std::pair<uint32_t, uint32_t>> data;
  std::vector<uint32_t> countdown;
};

class Modes : public ::testing::Test {
 protected:
  sim::VirtualPrinter& Printer(uint32_t model, const char* version,
                               const sim::PrinterFaults& faults = {}) {
    sim::VirtualPrinterConfig config;
    config.model = model;
    config.version = version;
    config.faults = faults;
    return rig_.Add(config);
  }
  // A model-6 printer (at 1.06 unless told) and a folder with its CPU package (1.06) and
  // main package (1.10), the CPU step first.
  sim::VirtualPrinter& Model6WithCpuStep(const std::string& extraKeys = {},
                                         const sim::PrinterFaults& faults = {},
                                         const char* version = "1.06") {
    sim::VirtualPrinter& printer = Printer(6, version, faults);
    Package("fw.bin", config::kHeaderOffsetMain, 6, "1.10");
    Package("cpu.bin", config::kHeaderOffsetCpu, 6, "1.06");
    dir_.Write("Kiln.ini", "[FW_INFO1]\nFile=fw.bin\nCpu1st=1\nCpuFile=cpu.bin\n" + extraKeys);
    return printer;
  }
  void Package(const char* name, uint32_t offset, uint32_t model, const char* version) {
    dir_.Write(name, kiln::testing::MakePackage(0x10000, offset, sim::ProductIdOfModel(model), 4, 6,
                                                version));
  }

  // The silent update with stop as its stop input; what it writes to the history goes to
  // histories_. Returns its record.
  ModeRecord RunSilent(const CommandLineOptions& options, StopRequest stop) {
    SilentUpdate update(session_, options, reports_, progress_, rig_.Links(), nullptr,
                        std::move(stop));
    update.SetHistory([this](const ModeRecord& record) {
      histories_.push_back(record);
      return std::string();
    });
    update.Run(dir_.path().string());
    return update.record();
  }

  kiln::testing::VirtualPrinterRig rig_;
  kiln::testing::TempDir dir_;
  AppSession session_;
  RecordedReports reports_;
  RecordedProgress progress_;
  std::vector<ModeRecord> histories_;
};

TEST_F(Modes, CpuStepGoesFirstAndTheMainImageFollows) {
  sim::VirtualPrinter& printer = Model6WithCpuStep("Delay2=9\n");
  CommandLineOptions options;
  options.silent = true;
  options.model = 6;
  SilentUpdate(session_, options, reports_, progress_, rig_.Links()).Run(dir_.path().string());

  EXPECT_EQ(reports_.list, (Reports{{101, 0}, {100, 1}, {110, 11}}));
  const auto images = printer.Images();
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0].writeType, 2) << "1.06 is below 1.07: the CPU code goes first";
  EXPECT_EQ(images[1].writeType, 0);
  EXPECT_EQ(printer.Version(), "1.10");
  EXPECT_EQ(Sent(printer, protocol::cmd::kJobReset), 1u)
      << "only the main download waits for the restart";

  // Both images went out to their last byte. Each count-down ran from its delay plus
  // its package's programming time to 0: Delay1 (20 by default) + 4 for the CPU code,
  // then Delay2 9 + 6 for the main image.
  EXPECT_EQ(progress_.data.back(), (std::pair<uint32_t, uint32_t>{0x10000, 0x10000}));
  ASSERT_EQ(progress_.countdown.size(), 25u + 16u);
  EXPECT_EQ(progress_.countdown[0], 24u);
  EXPECT_EQ(progress_.countdown[25], 15u);
  EXPECT_EQ(progress_.phases.back(), UpdatePhase::kResult);
  // Each step says which file it sends.
  const auto sending =
      std::find(progress_.phases.begin(), progress_.phases.end(), UpdatePhase::kCpuStep) -
      progress_.phases.begin();
  ASSERT_LT(static_cast<std::size_t>(sending), progress_.texts.size());
  EXPECT_EQ(progress_.texts[sending].rfind("sending " + dir_.path().string(), 0), 0u)
      << progress_.texts[sending];
  EXPECT_EQ(std::count(progress_.phases.begin(), progress_.phases.end(), UpdatePhase::kDownload),
            1);
}

// At 1.07 the printer has the CPU code: the step is said to be skipped and only the
// main image goes out. A package that cannot be read asks the printer nothing.
TEST_F(Modes, CpuStepSkippedFromItsVersionOnAndNothingAskedWithoutAPackage) {
  sim::VirtualPrinter& current = Model6WithCpuStep({}, {}, "1.07");
  CommandLineOptions options;
  options.model = 6;
  SilentUpdate(session_, options, reports_, progress_, rig_.Links()).Run(dir_.path().string());
  EXPECT_EQ(reports_.list, (Reports{{101, 0}, {100, 1}, {110, 11}}));
  ASSERT_EQ(current.Images().size(), 1u);
  EXPECT_EQ(current.Images()[0].writeType, 0);
  EXPECT_EQ(std::count(progress_.phases.begin(), progress_.phases.end(), UpdatePhase::kCpuStep), 1)
      << "the skip is said once";

  reports_.list.clear();
  dir_.Write("fw.bin", "not a package");
  const std::size_t asked = current.Transcript().size();
  SilentUpdate unread(session_, options, reports_, progress_, rig_.Links());
  unread.Run(dir_.path().string());
  EXPECT_EQ(reports_.list, (Reports{{100, 0}, {110, 0}}));
  EXPECT_FALSE(unread.record().package.has_value()) << "no package is named in the record";
  EXPECT_EQ(current.Transcript().size(), asked);
}

TEST_F(Modes, FailedCpuStepEndsTheUpdate) {
  sim::PrinterFaults faults;
  faults.silent = sim::CommandMatch::Code(protocol::cmd::kWriteStart);
  sim::VirtualPrinter& printer = Model6WithCpuStep({}, faults);
  CommandLineOptions options;
  options.model = 6;
  SilentUpdate(session_, options, reports_, progress_, rig_.Links()).Run(dir_.path().string());
  EXPECT_EQ(reports_.list.back(), (std::pair<uint32_t, uint32_t>{110, 12}));
  EXPECT_EQ(Sent(printer, protocol::cmd::kWriteStart), 1u) << "the main image was not started";
}

TEST_F(Modes, PackageReplacedAfterItsCheckIsNotWhatIsSent) {
  sim::VirtualPrinter& printer = Printer(7, "1.05");
  Package("fw.bin", config::kHeaderOffsetMain, 7, "1.10");
  const std::string checked = kiln::testing::TempDir::Read(dir_.File("fw.bin"));
  dir_.Write("Kiln.ini", "[FW_INFO1]\nFile=fw.bin\n");
  // The first printer link is made once the package has been checked: the file is then
  // replaced, as a rename would, by another model's older package.
  bool replaced = false;
  usb::LinkFactory links = [&, inner = rig_.Links()] {
    if (!replaced) {
      replaced = true;
      Package("other.bin", config::kHeaderOffsetMain, 11, "0.01");
      std::filesystem::rename(dir_.File("other.bin"), dir_.File("fw.bin"));
    }
    return inner();
  };
  CommandLineOptions options;
  options.model = 7;
  SilentUpdate(session_, options, reports_, progress_, links).Run(dir_.path().string());

  ASSERT_TRUE(replaced);
  EXPECT_EQ(reports_.list, (Reports{{101, 0}, {100, 1}, {110, 11}}));
  const auto images = printer.Images();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_TRUE(
      std::equal(images[0].bytes.begin(), images[0].bytes.end(), checked.begin(), checked.end()))
      << "the bytes sent are the bytes checked";
  EXPECT_EQ(printer.Version(), "1.10");
}

TEST_F(Modes, StopDuringAStepLetsItEndAndStartsNoOther) {
  sim::VirtualPrinter& printer = Model6WithCpuStep();
  CommandLineOptions options;
  options.model = 6;
  // The signal comes with the CPU step's first second of count-down.
  const StopRequest stop = [&] { return progress_.countdown.empty() ? 0 : SIGTERM; };
  SilentUpdate(session_, options, reports_, progress_, rig_.Links(), nullptr, stop)
      .Run(dir_.path().string());

  EXPECT_EQ(reports_.list, (Reports{{101, 0}, {100, 1}, {110, 12}}));
  ASSERT_EQ(printer.Images().size(), 1u) << "the CPU step ended, the main image never went";
  EXPECT_EQ(progress_.countdown.size(), 25u) << "its whole count-down";
  EXPECT_EQ(std::count(progress_.warnings.begin(), progress_.warnings.end(), kStopDeferredText), 1);
}

// After 101 the versions were compared (100 1), but no download began: nothing is sent
// and no history is written.
TEST_F(Modes, StopRightAfterTheDownloadIsAnnouncedSendsNothingAndWritesNoHistory) {
  sim::VirtualPrinter& printer = Model6WithCpuStep();
  CommandLineOptions options;
  options.model = 6;
  RunSilent(options, [this] { return reports_.list.empty() ? 0 : SIGINT; });
  EXPECT_EQ(reports_.list, (Reports{{101, 0}, {100, 1}, {110, 12}}));
  EXPECT_TRUE(printer.Images().empty());
  EXPECT_TRUE(histories_.empty());
}

// Two printers: a stop during printer 1's transfer leaves printer 2 not sent to, out of
// the history; a stop during the reconnection is said too.
TEST_F(Modes, StopDuringOnePrintersTransferSendsNothingToTheNext) {
  sim::VirtualPrinter& first = Printer(7, "1.05");
  sim::VirtualPrinter& second = Printer(7, "1.05");
  Package("fw.bin", config::kHeaderOffsetMain, 7, "1.10");
  dir_.Write("Kiln.ini", "[FW_INFO1]\nFile=fw.bin\n");
  CommandLineOptions options;
  options.model = 7;
  const ModeRecord record =
      RunSilent(options, [this] { return progress_.data.empty() ? 0 : SIGTERM; });
  EXPECT_EQ(reports_.list, (Reports{{101, 0}, {100, 1}, {110, 12}}));
  EXPECT_EQ(first.Version(), "1.10");
  EXPECT_TRUE(second.Images().empty());
  ASSERT_EQ(record.printers.size(), 2u);
  EXPECT_EQ(record.printers[1].result, protocol::PrinterResult::kNotSent);
  ASSERT_EQ(histories_.size(), 1u);
  EXPECT_EQ(histories_[0].printers.size(), 1u);
  EXPECT_EQ(std::count(progress_.warnings.begin(), progress_.warnings.end(), kStopDeferredText), 1);

  // The stop comes while a model-9 printer is reconnected.
  sim::VirtualPrinter& third = Printer(9, "1.05");
  Package("fw9.bin", config::kHeaderOffsetMain, 9, "1.10");
  dir_.Write("Kiln.ini", "[FW_INFO1]\nFile=fw9.bin\n");
  options.model = 9;
  progress_ = RecordedProgress();
  const auto reconnecting = [this] {
    return std::count(progress_.phases.begin(), progress_.phases.end(),
                      UpdatePhase::kReconnection) != 0
               ? SIGHUP
               : 0;
  };
  RunSilent(options, reconnecting);
  EXPECT_EQ(third.Version(), "1.10");
  EXPECT_EQ(std::count(progress_.warnings.begin(), progress_.warnings.end(), kStopDeferredText), 1);
}

// Every printer's version decides for itself: one already at the package's version
// leaves another, older one to be updated; one whose version is no version is neither
// current nor sent anything.
TEST_F(Modes, EachSurveyedPrinterIsUpdatedOnlyWhenItIsOlder) {
  Printer(7, "1.10");
  Printer(7, "1.05");
  Printer(7, "N/A");
  Package("fw.bin", config::kHeaderOffsetMain, 7, "1.10");
  dir_.Write("Kiln.ini", "[FW_INFO1]\nFile=fw.bin\n");
  CommandLineOptions options;
  options.model = 7;
  SilentUpdate update(session_, options, reports_, progress_, rig_.Links());
  update.SurveyEveryPrinter(true);
  update.Run(dir_.path().string());
  EXPECT_EQ(reports_.list, (Reports{{101, 0}, {100, 1}, {110, 11}}));
  std::vector<protocol::PrinterResult> results;
  for (const auto& printer : update.record().printers) results.push_back(printer.result);
  using protocol::PrinterResult;
  EXPECT_EQ(results, (std::vector<PrinterResult>{PrinterResult::kCurrent, PrinterResult::kUpdated,
                                                 PrinterResult::kNotSent}));

  // Run again, nothing is older: the survey's own words stand.
  reports_.list.clear();
  update.Run(dir_.path().string());
  EXPECT_EQ(reports_.list, (Reports{{100, 1}, {110, 1}}));
  results.clear();
  for (const auto& printer : update.record().printers) results.push_back(printer.result);
  EXPECT_EQ(results, (std::vector<PrinterResult>{PrinterResult::kCurrent, PrinterResult::kCurrent,
                                                 PrinterResult::kNotSent}));
}

TEST_F(Modes, StopBeforeTheUpdateSendsNothing) {
  sim::VirtualPrinter& printer = Printer(7, "1.05");
  Package("fw.bin", config::kHeaderOffsetMain, 7, "1.10");
  dir_.Write("Kiln.ini", "[FW_INFO1]\nFile=fw.bin\n");
  CommandLineOptions options;
  options.model = 7;
  SilentUpdate(session_, options, reports_, progress_, rig_.Links(), nullptr, [] {
    return SIGINT;
  }).Run(dir_.path().string());
  EXPECT_EQ(reports_.list, (Reports{{100, 0}, {110, 12}}));
  EXPECT_TRUE(printer.Transcript().empty());
}

// A report the caller's window did not take is marked in the JSON, and only that one; the
// mode goes on to its next report.
TEST_F(Modes, AReportTheWindowDidNotTakeIsMarkedInTheJson) {
  Package("fw.bin", config::kHeaderOffsetMain, 7, "1.10");
  dir_.Write("Kiln.ini", "[FW_INFO1]\nFile=fw.bin\n");
  CommandLineOptions options;
  options.model = 7;
  reports_.refused = report::kCompared;
  SilentUpdate update(session_, options, reports_, progress_, rig_.Links(), nullptr);
  update.Run(dir_.path().string());
  EXPECT_EQ(reports_.list, (Reports{{100, 0}, {110, 0}}));
  const std::string json = ModeJson(update.record());
  EXPECT_NE(json.find(R"("reports":[{"code":100,"value":0,"delivered":false},)"
                      R"({"code":110,"value":0}])"),
            std::string::npos)
      << json;
}

TEST_F(Modes, PrinterWithAnEmptyVersionIsNotCompared) {
  sim::VirtualPrinter& printer = Printer(7, "");
  Package("fw.bin", config::kHeaderOffsetMain, 7, "1.10");
  dir_.Write("Kiln.ini", "[FW_INFO1]\nFile=fw.bin\n");
  CommandLineOptions options;
  options.model = 7;
  SilentUpdate(session_, options, reports_, progress_, rig_.Links()).Run(dir_.path().string());
  EXPECT_EQ(reports_.list, (Reports{{100, 0}, {110, 0}})) << "\"N/A\" is no version to compare";
  EXPECT_TRUE(printer.Images().empty());
}

TEST_F(Modes, UnreachablePrinterIsNamedWhenNoPrinterAnswers) {
  // A large model's printer may show under model 19's product ID only.
  Package("fw.bin", config::kHeaderOffsetMain, 25, "2.10");
  dir_.Write("Kiln.ini", "[FW_INFO1]\nFile=fw.bin\n");
  CommandLineOptions options;
  options.model = 25;
  const uint16_t fallBack = sim::ProductIdOfModel(19);
  const auto seenAsFallBack = [&](uint16_t vendorId, uint16_t productId) {
    return vendorId == 0x2E5A && productId == fallBack ? std::vector<std::string>{"3-1"}
                                                       : std::vector<std::string>{};
  };
  SilentUpdate(session_, options, reports_, progress_, rig_.Links(), seenAsFallBack)
      .Run(dir_.path().string());
  EXPECT_EQ(reports_.list, (Reports{{100, 0}, {110, 0}}));
  EXPECT_EQ(progress_.warnings,
            (std::vector<std::string>{"Printer seen on USB but not reachable: unplug it and plug "
                                      "it in again, or close the program that uses it."}));

  progress_.warnings.clear();
  const auto nothingSeen = [](uint16_t, uint16_t) { return std::vector<std::string>{}; };
  SilentUpdate(session_, options, reports_, progress_, rig_.Links(), nothingSeen)
      .Run(dir_.path().string());
  EXPECT_TRUE(progress_.warnings.empty());
}

TEST_F(Modes, VersionReportOfALargeModelQueriesWithItsOwnPackets) {
  sim::VirtualPrinter& printer = Printer(25, "2.03");
  dir_.Write("code.bin", "c");
  Package("fw.bin", config::kHeaderOffsetMain, 25, "2.10");
  dir_.Write("Kiln.ini", "[FW_INFO1]\nCodeName=code.bin\nFwName=fw.bin\n");
  CommandLineOptions options;
  options.checkDeviceVersion = true;
  ReportVersions(session_, dir_.path().string(), options, reports_, rig_.Links());

  EXPECT_EQ(reports_.list, (Reports{{102, 0x020A0000}, {103, 0x02030000}}));
  for (const sim::PacketRecord& packet : printer.Transcript()) {
    EXPECT_EQ(packet.paddingBytes, 0u) << "command " << packet.command << " was padded";
  }
}

// The console lines, written into a temporary file.
class Console : public ::testing::Test {
 protected:
  ~Console() override { std::fclose(file_); }
  std::string Text() {
    std::fflush(file_);
    std::rewind(file_);
    std::string text;
    for (int c; (c = std::fgetc(file_)) != EOF;) text.push_back(static_cast<char>(c));
    return text;
  }
  ConsoleProgress Make(bool terminal) {
    return ConsoleProgress(file_, terminal, [this] { return now_; });
  }

  std::FILE* file_ = std::tmpfile();
  uint64_t now_ = 1000;
};

// A calling program reads each report line while Kiln still runs, not when it ends.
TEST(CallerReportLines, EachLineIsWrittenAtOnce) {
  kiln::testing::TempDir dir;
  const std::string path = dir.File("lines");
  std::FILE* lines = std::fopen(path.c_str(), "wb");  // fully buffered, as a pipe is
  ASSERT_NE(lines, nullptr);
  EXPECT_TRUE(CallerReports(0, lines).Report(100, 1)) << "no window named, none missed";
  EXPECT_EQ(kiln::testing::TempDir::Read(path), "report 100 1\n");
  // A window named but out of reach (no such window, or no display) did not take it.
  EXPECT_FALSE(CallerReports(0x7ffffff0, nullptr).Report(110, 0));
  std::fclose(lines);
}

TEST_F(Console, DataLinesAreThrottledButTheLastIsAlwaysShown) {
  ConsoleProgress console = Make(false);
  console.DataSent(100, 1000);
  now_ += ConsoleProgress::kDataLineIntervalMs - 1;
  console.DataSent(200, 1000);  // too soon
  now_ += 1;
  console.DataSent(300, 1000);
  console.DataSent(1000, 1000);  // the end, however soon
  console.Phase(UpdatePhase::kCountdown, "");
  console.CountdownSecond(1);
  console.CountdownSecond(0);
  EXPECT_EQ(Text(),
            "kiln: sent 100 of 1000 bytes (10%)\n"
            "kiln: sent 300 of 1000 bytes (30%)\n"
            "kiln: sent 1000 of 1000 bytes (100%)\n"
            "kiln: count-down\n"
            "kiln: count-down: 1 s\n"
            "kiln: count-down: 0 s\n");
}

TEST_F(Console, TransferEndingShortShowsHowFarItGot) {
  ConsoleProgress console = Make(false);
  console.DataSent(100, 1000);
  console.DataSent(900, 1000);  // held back by the throttle, and the last one sent
  console.Phase(UpdatePhase::kCountdown, "");
  EXPECT_EQ(Text(),
            "kiln: sent 100 of 1000 bytes (10%)\n"
            "kiln: sent 900 of 1000 bytes (90%)\n"
            "kiln: count-down\n");
}

TEST_F(Console, TerminalRewritesOneLineAndEndsItBeforeAWarningOrTheNextPhase) {
  ConsoleProgress console = Make(true);
  console.DataSent(5, 10);
  console.Warning("Print queue Photo could not be paused");
  console.Phase(UpdatePhase::kDownload, "failed");
  console.CountdownSecond(0);
  EXPECT_EQ(Text(),
            "\rkiln: sent 5 of 10 bytes (50%)\033[K\n"
            "kiln: warning: Print queue Photo could not be paused\n"
            "kiln: download: failed\n"
            "\rkiln: count-down: 0 s\033[K\n");
}

// Folder and file names reach the progress lines as they are; none of their escape
// sequences, line breaks or bidirectional overrides may reach the terminal.
TEST_F(Console, NamesFromOutsideCannotDriveTheTerminal) {
  ConsoleProgress console = Make(true);
  console.Phase(UpdatePhase::kConfiguration, "package /tmp/\033]0;x\a\nkiln: \u202efake.bin");
  console.Warning(
      "cannot open /tmp/\x7f\xc2\x9b"
      "2J\xff/history.jsonl");
  EXPECT_EQ(Text(),
            "kiln: configuration: package /tmp/?]0;x??kiln: ?fake.bin\n"
            "kiln: warning: cannot open /tmp/??2J?/history.jsonl\n");
}

}  // namespace
}  // namespace kiln::app
