// The steps of an update as PlanUpdate lays them out, for the window and the silent
// update: which files each step sends, to which model, with which waits and checks.
#include "app/update_plan.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/firmware_package.h"
#include "support/package_builder.h"

namespace kiln::app {
namespace {

config::LoadedFile File(const std::string& path, const std::string& bytes = "bytes") {
  return {path, std::make_shared<const std::vector<uint8_t>>(bytes.begin(), bytes.end())};
}

// Entry 1 of a folder for model, as the reader gives it: Delay1 20, Delay2 25.
config::ModelEntry Entry() {
  config::ModelEntry entry;
  entry.packageFound = true;
  entry.cpuDelay = 20;
  entry.firmwareDelay = 25;
  entry.showCountdown = true;
  return entry;
}

// A package for model (serial), version 2.00, programmed in 3 seconds, with every file a
// step may take.
config::Package PackageFor(uint32_t model) {
  config::Package package;
  package.version = "2.00";
  package.programSeconds = 3;
  package.targetModel = model;
  package.packageModel = model;
  package.driverName = "driver";
  package.cpuVersion = "1.50";
  package.cpuProgramSeconds = 7;
  config::PackageFiles& files = package.files;
  files.firmware = File("fw.bin");
  files.code = File("code.bin");
  files.table = File("table.bin");
  files.altFirmware = File(
      "oeefw.bin", testing::MakePackage(0x2000, config::kHeaderOffsetMain, 0x0496, 3, 3, "2.90"));
  files.altCode = File("oeecode.bin");
  files.altTable = File("oeetable.bin");
  files.cpuFirmware = File("cpu.bin");
  files.cpuCode = File("cpucode.bin");
  files.cpuTable = File("cputable.bin");
  files.colourTable = File("vivid.bin");
  return package;
}

// What a test expects of one step.
struct Step {
  StepKind kind;
  uint32_t open, reopen, tableLayout;
  uint8_t writeType;
  uint32_t waitSeconds;
  bool waitForRestart;
  const char* image;
  const char* code;
  const char* colourTable;  // "" for none
  const char* expectedVersion;
  bool failureEndsUpdate;
  int visibleWait;
};

struct Row {
  const char* name;
  uint32_t model;
  void (*configure)(config::ModelEntry&);
  PrinterAnswer printer;
  UpdateMode mode;
  std::vector<Step> steps;
  bool cpuStepSkipped;
  bool noWaitBurnOk;  // every step leaves the printers unconfirmed
  int reread;
};

void Plain(config::ModelEntry&) {}
void CpuFirst(config::ModelEntry& entry) {
  entry.cpuFirst = true;
}
void TableSwitch(config::ModelEntry& entry) {
  entry.tableSwitch = true;
}

constexpr StepKind kAlt = StepKind::kAlternativeSet;
constexpr StepKind kCpu = StepKind::kCpuFirmware;
constexpr StepKind kFw = StepKind::kFirmware;
constexpr UpdateMode kWindow = UpdateMode::kWindow;
constexpr UpdateMode kSilent = UpdateMode::kSilent;

const Row kRows[] = {
    {"NormalM07",
     7,
     Plain,
     {7, true, "1.05"},
     kWindow,
     {{kFw, 7, 7, 7, 0, 28, true, "fw.bin", "code.bin", "", "2.00", true, 0}},
     false,
     false,
     5},
    {"NormalM07Silent",
     7,
     Plain,
     {7, true, "1.05"},
     kSilent,
     {{kFw, 7, 7, 7, 0, 28, true, "fw.bin", "code.bin", "", "2.00", true, 0}},
     false,
     false,
     0},
    // A failed CPU step ends the update; after a good one the window counts ten seconds.
    {"CpuFirst",
     7,
     CpuFirst,
     {7, true, "1.05"},
     kWindow,
     {{kCpu, 7, 7, 7, 2, 27, false, "cpu.bin", "code.bin", "", "1.50", true, 10},
      {kFw, 7, 7, 7, 0, 28, true, "fw.bin", "code.bin", "", "2.00", true, 0}},
     false,
     false,
     5},
    {"CpuFirstLargeModelInTheWindowSendsTheCpuCodeFile",
     25,
     CpuFirst,
     {25, true, "1.05"},
     kWindow,
     {{kCpu, 25, 25, 25, 2, 27, false, "cpucode.bin", "cpu.bin", "", "1.50", true, 10},
      {kFw, 25, 25, 25, 0, 28, true, "fw.bin", "code.bin", "", "2.00", true, 0}},
     false,
     true,
     0},
    {"CpuFirstSilent",
     7,
     CpuFirst,
     {7, true, "1.05"},
     kSilent,
     {{kCpu, 7, 7, 7, 2, 27, false, "cpu.bin", "code.bin", "", "1.50", true, 0},
      {kFw, 7, 7, 7, 0, 28, true, "fw.bin", "code.bin", "", "2.00", true, 0}},
     false,
     false,
     0},
    // Model 25 answering as 19 with its version readable: the alternative set first, whose
    // failure is not reported, then the firmware to 19, expected back as 25.
    {"FallBackWithTheAlternativeSet",
     25,
     Plain,
     {19, true, "2.80"},
     kWindow,
     {{kAlt, 19, 19, 25, 0, 20, true, "oeefw.bin", "oeecode.bin", "", "2.90", false, 0},
      {kFw, 19, 25, 19, 0, 28, true, "fw.bin", "code.bin", "", "2.00", true, 0}},
     false,
     true,
     0},
    {"FallBackVersionUnreadable",
     25,
     Plain,
     {19, false, ""},
     kWindow,
     {{kFw, 19, 25, 19, 0, 28, true, "fw.bin", "code.bin", "", "2.00", true, 0}},
     false,
     true,
     0},
    // The silent update addresses the target model whatever the printer answered as.
    {"FallBackSilent",
     25,
     Plain,
     {19, true, "2.80"},
     kSilent,
     {{kFw, 25, 25, 25, 0, 28, true, "fw.bin", "code.bin", "", "2.00", true, 0}},
     false,
     false,
     0},
    {"Model6At107SkipsTheCpuStepInSilentMode",
     6,
     CpuFirst,
     {6, true, "1.07"},
     kSilent,
     {{kFw, 6, 6, 6, 0, 28, true, "fw.bin", "code.bin", "", "2.00", true, 0}},
     true,
     false,
     0},
    {"Model6At106",
     6,
     CpuFirst,
     {6, true, "1.06"},
     kSilent,
     {{kCpu, 6, 6, 6, 2, 27, false, "cpu.bin", "code.bin", "", "1.50", true, 0},
      {kFw, 6, 6, 6, 0, 28, true, "fw.bin", "code.bin", "", "2.00", true, 0}},
     false,
     false,
     0},
    {"Model6At107InTheWindow",
     6,
     CpuFirst,
     {6, true, "1.07"},
     kWindow,
     {{kCpu, 6, 6, 6, 2, 27, false, "cpu.bin", "code.bin", "", "1.50", true, 10},
      {kFw, 6, 6, 6, 0, 28, true, "fw.bin", "code.bin", "", "2.00", true, 0}},
     false,
     false,
     5},
    {"ColourTableWithTheSwitchOn",
     7,
     TableSwitch,
     {7, true, "1.05"},
     kWindow,
     {{kFw, 7, 7, 7, 0, 28, true, "fw.bin", "code.bin", "vivid.bin", "2.00", true, 0}},
     false,
     false,
     5},
    {"ColourTableWithTheSwitchOff",
     7,
     Plain,
     {7, true, "1.05"},
     kWindow,
     {{kFw, 7, 7, 7, 0, 28, true, "fw.bin", "code.bin", "", "2.00", true, 0}},
     false,
     false,
     5},
    {"ColourTableNotSentSilently",
     7,
     TableSwitch,
     {7, true, "1.05"},
     kSilent,
     {{kFw, 7, 7, 7, 0, 28, true, "fw.bin", "code.bin", "", "2.00", true, 0}},
     false,
     false,
     0},
};

// Every file set sends the table of its own set beside its code file.
std::string TableBeside(const std::string& code) {
  if (code == "cpu.bin") return "cputable.bin";
  return code.substr(0, code.size() - std::string("code.bin").size()) + "table.bin";
}

class Plan : public ::testing::TestWithParam<Row> {};

TEST_P(Plan, StepsAsTheModeRequires) {
  const Row& row = GetParam();
  config::ModelEntry entry = Entry();
  row.configure(entry);
  const UpdatePlan plan = PlanUpdate(entry, PackageFor(row.model), row.printer, row.mode);

  EXPECT_EQ(plan.cpuStepSkipped, row.cpuStepSkipped);
  EXPECT_EQ(plan.versionRereadAfterSeconds, row.reread);
  ASSERT_EQ(plan.steps.size(), row.steps.size());
  for (std::size_t i = 0; i < row.steps.size(); ++i) {
    SCOPED_TRACE(i);
    const Step& want = row.steps[i];
    const PlanStep& step = plan.steps[i];
    const protocol::FlashRequest& flash = step.flash;
    EXPECT_EQ(step.kind, want.kind);
    EXPECT_EQ(flash.openModel, want.open);
    EXPECT_EQ(flash.reopenModel, want.reopen);
    EXPECT_EQ(flash.targetModel, want.tableLayout);
    EXPECT_EQ(flash.connectedModel, row.printer.connectedModel);
    EXPECT_EQ(flash.largeModel, row.model >= 19);
    EXPECT_EQ(flash.writeType, want.writeType);
    EXPECT_EQ(flash.waitSeconds, want.waitSeconds);
    EXPECT_EQ(flash.waitForRestart, want.waitForRestart);
    EXPECT_EQ(flash.image.path, want.image);
    EXPECT_EQ(flash.code.path, want.code);
    EXPECT_EQ(flash.table.path, TableBeside(want.code)) << "each step sends its own set's table";
    EXPECT_EQ(flash.colourTable.path, want.colourTable);
    EXPECT_EQ(flash.expectedVersion, want.expectedVersion);
    EXPECT_EQ(flash.noWaitBurnOk, row.noWaitBurnOk);
    EXPECT_EQ(flash.showCountdown, row.mode == kWindow);
    EXPECT_EQ(flash.driverName, "driver");
    EXPECT_TRUE(flash.readVersionBefore);
    EXPECT_EQ(flash.facts, protocol::ModelFactsFor(flash)) << "resolved once, for the download";
    EXPECT_EQ(step.failureEndsUpdate, want.failureEndsUpdate);
    EXPECT_EQ(step.visibleWaitSeconds, want.visibleWait);
  }
}

// A package that names another model than the one it updates: the window expects the
// printer back under the package's model, the silent update under the target.
TEST(PlanReopen, WindowWaitsForThePackagesModelSilentForTheTarget) {
  config::Package package = PackageFor(25);
  package.packageModel = 26;
  const PrinterAnswer printer{25, true, "1.05"};
  const UpdatePlan window = PlanUpdate(Entry(), package, printer, kWindow);
  const UpdatePlan silent = PlanUpdate(Entry(), package, printer, kSilent);
  ASSERT_EQ(window.steps.size(), 1u);
  ASSERT_EQ(silent.steps.size(), 1u);
  EXPECT_EQ(window.steps[0].flash.openModel, 25u);
  EXPECT_EQ(window.steps[0].flash.reopenModel, 26u);
  EXPECT_EQ(silent.steps[0].flash.reopenModel, 25u);
}

INSTANTIATE_TEST_SUITE_P(Updates, Plan, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace kiln::app
