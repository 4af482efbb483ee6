// The maintenance dialogs' forms without a toolkit: what they show of an entry, the
// checks they make, and exactly what their one write of Kiln.ini holds.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/fake_clock.h"
#include "support/program_folder_builder.h"
#include "support/temp_dir.h"
#include "tools/advanced_setting_form.h"
#include "tools/entry_text.h"
#include "tools/make_bin_form.h"
#include "tools/setting_form.h"

namespace kiln::tools {
namespace {

using testing::ProgramFolderBuilder;
using testing::TempDir;

class EntryForms : public ::testing::Test {
 protected:
  config::ConfigFolder Folder() const { return config::ConfigFolder::At(dir_.path().string()); }
  std::string Contents() const { return TempDir::Read(dir_.File("Kiln.ini")); }

  TempDir dir_;
  ProgramFolderBuilder folder_{dir_};
  testing::FakeClock clock_;
};

// A text the user left alone keeps its bytes, even bytes that are no UTF-8; a changed
// one is stored as UTF-8 on one line.
TEST(EntryText, UntouchedTextsKeepTheirBytesAndChangedOnesBecomeOneLine) {
  EXPECT_EQ(ShownText("caf\xE9"), "café");
  EXPECT_EQ(StoredBytes("café", "caf\xE9"), "caf\xE9");
  EXPECT_EQ(StoredBytes("cafés", "caf\xE9"), "cafés");
  EXPECT_EQ(StoredBytes("café", "café"), "café");
  EXPECT_EQ(StoredBytes("a\r\nb\rc\nd\te", ""), "a b c d e");
  EXPECT_EQ(StoredBytes(std::string("a\0b", 3), ""), "a b");
  EXPECT_EQ(CutBytes(std::string(254, 'x') + "é", 255), std::string(254, 'x'))
      << "a character that does not fit whole is left out";
  EXPECT_EQ(CutBytes(std::string(254, 'x') + "\xE9\xE9", 255), std::string(254, 'x') + "\xE9")
      << "bytes that are no UTF-8 are cut at the limit";
}

TEST_F(EntryForms, OpeningClearsTheReadOnlyProtectionSoThatOkCanWrite) {
  folder_.Entry(1, {"Model=M07", "Delay1=5"});
  ASSERT_EQ(::chmod(dir_.File("Kiln.ini").c_str(), 0444), 0);
  AdvancedSettingForm form(Folder(), 1);
  struct stat status {};
  ASSERT_EQ(::stat(dir_.File("Kiln.ini").c_str(), &status), 0);
  EXPECT_NE(status.st_mode & S_IWUSR, 0u);
  form.values.cpuDelay = "7";
  EXPECT_EQ(form.Save(), SaveOutcome::kSaved);
  EXPECT_NE(Contents().find("Delay1=7\n"), std::string::npos);
}

// Deleting a row keeps each table with its own colour-mode description; texts are cut
// to 255 bytes; a table name with a comma is refused and nothing is written.
TEST_F(EntryForms, SettingRowsKeepTheirDescriptionsAndCommasAreRefused) {
  folder_.Entry(1, {"Model=M07", "TableFile1=t1.bin,One", "TableFile2=t2.bin,Two",
                    "TableFile3=t3.bin,Three", "ColorModeDesc1=first", "ColorModeDesc2=second"});
  const std::string original = Contents();
  SettingForm form(Folder(), 1, clock_);
  ASSERT_EQ(form.values.tables.size(), 3u);
  form.values.tables.erase(form.values.tables.begin());
  form.values.tables[1].description = std::string(254, 'x') + "é";
  form.values.tables[0].fileName = "t,2.bin";
  EXPECT_EQ(form.RowWithComma(), 0);
  EXPECT_EQ(form.Save(), SaveOutcome::kNotTaken);
  EXPECT_EQ(Contents(), original);
  EXPECT_TRUE(clock_.Pauses().empty());

  form.values.tables[0].fileName = "t2.bin";
  EXPECT_EQ(form.RowWithComma(), -1);
  EXPECT_EQ(form.Save(), SaveOutcome::kSaved);
  EXPECT_EQ(Contents(),
            "[FW_INFO1]\nModel=M07\nColorModeDesc1=second\nFile=\nWriteType=0\n"
            "EnableTableSwitch=0\nDisableOverwriteNewer=0\nNotWaitBurnOK=0\nSupportModel2=0\n"
            "TableFile1=t2.bin,Two\nTableFile2=t3.bin," +
                std::string(254, 'x') + "\n");
  EXPECT_EQ(clock_.Pauses(), std::vector<uint32_t>{SettingForm::kPauseAfterSaveMs});
}

TEST_F(EntryForms, AddedTablesComeFromTheProgramFolderWithoutACommaUpToAHundred) {
  folder_.Entry(1, {"Model=M07"}).File("vivid.bin", std::string(20, 'x') + "VIV0001\x01");
  folder_.File("a,b.bin", "x");
  std::filesystem::create_directory(dir_.File("other"));
  folder_.File("other/far.bin", "x");
  SettingForm form(Folder(), 1, clock_);
  EXPECT_EQ(form.AddTable(dir_.File("other/far.bin")), AddTableResult::kOutsideFolder);
  // Two folders that cannot be resolved are not the same folder.
  EXPECT_EQ(CheckChosenFile(dir_.File("gone/far.bin"), dir_.File("missing"), false),
            ChosenFile::kOutsideFolder);
  EXPECT_EQ(form.AddTable(dir_.File("a,b.bin")), AddTableResult::kCommaInName);
  EXPECT_TRUE(form.values.tables.empty());
  EXPECT_EQ(form.AddTable(dir_.File("vivid.bin")), AddTableResult::kAdded);
  ASSERT_EQ(form.values.tables.size(), 1u);
  EXPECT_EQ(form.values.tables[0].fileName, "vivid.bin");
  EXPECT_EQ(form.values.tables[0].version, "VIV0001");
  EXPECT_EQ(form.values.tables[0].description, "Click me to edit description");

  while (!form.TableListFull()) form.AddTable(dir_.File("vivid.bin"));
  EXPECT_EQ(form.values.tables.size(), 100u);
  EXPECT_EQ(form.AddTable(dir_.File("vivid.bin")), AddTableResult::kListFull);
  EXPECT_EQ(form.values.tables.size(), 100u);
}

TEST_F(EntryForms, OnlyEntryOneOffersTheSecondEntryAndOnlyListedWriteTypesAreChosen) {
  folder_.Entry(1, {"Model=M07", "WriteType=2"}).Entry(2, {"Model=M09", "WriteType=3"});
  const SettingForm first(Folder(), 1, clock_);
  const SettingForm second(Folder(), 2, clock_);
  EXPECT_EQ(first.values.writeType, 2);
  EXPECT_EQ(second.values.writeType, -1) << "kept as stored, not shown";
  EXPECT_TRUE(first.OffersModel2(9) && first.OffersModel2(22));
  EXPECT_FALSE(first.OffersModel2(7) || first.OffersModel2(0) || second.OffersModel2(9));
  EXPECT_EQ(second.Title(), "Kiln Setting for model 2:");
}

TEST_F(EntryForms, FailedSavesSayWhyAndPauseNothing) {
  folder_.Entry(1, {"Model=M07"});
  SettingForm form(Folder(), 1, clock_);
  ASSERT_EQ(::chmod(dir_.File("Kiln.ini").c_str(), 0444), 0);
  EXPECT_EQ(form.Save(), SaveOutcome::kCannotWrite);
  std::filesystem::remove(dir_.File("Kiln.ini"));
  std::filesystem::create_directory(dir_.File("Kiln.ini"));
  EXPECT_EQ(form.Save(), SaveOutcome::kCannotOpen);
  EXPECT_TRUE(clock_.Pauses().empty());
  EXPECT_EQ(SaveNotice(SaveOutcome::kCannotOpen, "/f/Kiln.ini").title, "Open File Error!!");
  EXPECT_NE(SaveNotice(SaveOutcome::kCannotWrite, "/f/Kiln.ini").text.find("could not be saved"),
            std::string::npos);
}

TEST(DelayRange, DelaysAreWholeSecondsUpToTheConfigurationsLongest) {
  struct Case {
    const char* typed;
    DelayCheck check;
    uint16_t seconds;
  };
  const Case cases[] = {
      {"0", DelayCheck::kTaken, 0},        {"1000", DelayCheck::kTaken, 1000},
      {"0025", DelayCheck::kTaken, 25},    {"1001", DelayCheck::kOutOfRange, 0},
      {"-1", DelayCheck::kOutOfRange, 0},  {"99999999999999", DelayCheck::kOutOfRange, 0},
      {"", DelayCheck::kNotANumber, 0},    {"12s", DelayCheck::kNotANumber, 0},
      {" 12", DelayCheck::kNotANumber, 0},
  };
  for (const Case& c : cases) {
    uint16_t seconds = 0;
    EXPECT_EQ(TakeDelay(c.typed, seconds), c.check) << c.typed;
    EXPECT_EQ(seconds, c.seconds) << c.typed;
  }
  EXPECT_EQ(kLongestDelaySeconds, 1000);
  EXPECT_EQ(AdvancedSettingForm::DelayNotice(DelayCheck::kOutOfRange).text,
            "Please enter an integer between 0 and 1000.");
}

TEST_F(EntryForms, ARefusedDelayWritesNothingAndNamesItsBox) {
  folder_.Entry(1, {"Model=M07", "Delay1=5", "Delay2=6"});
  const std::string original = Contents();
  AdvancedSettingForm form(Folder(), 1);
  EXPECT_EQ(form.values.cpuDelay, "5");
  form.values.firmwareDelay = "1500";
  const AdvancedSettingForm::DelayProblem problem = form.CheckDelays();
  EXPECT_EQ(problem.check, DelayCheck::kOutOfRange);
  EXPECT_EQ(problem.delay, AdvancedSettingForm::Delay::kFirmware);
  EXPECT_EQ(form.Save(), SaveOutcome::kNotTaken);
  EXPECT_EQ(Contents(), original);
}

// Make BIN tells what a combine did; the next file choice opens where the last was.
TEST(MakeBinForm, CombineResultsAreToldAndChoicesMoveTheFolder) {
  TempDir dir;
  MakeBinForm form(dir.path().string());
  form.Choose(MakeBinForm::kCvd, dir.File("in/cvd.dat"));
  EXPECT_EQ(form.lastFolder, dir.File("in"));
  form.paths[MakeBinForm::kHeating] = dir.Write("heat.bin", "heat");
  form.paths[MakeBinForm::kColour] = dir.Write("colour.dat", "colour");
  form.paths[MakeBinForm::kOutput] = dir.File("out.bin");
  const CombineResult missing = form.Combine();
  EXPECT_EQ(MakeBinForm::CombineNotice(missing).title, "Open File Error!!");
  EXPECT_EQ(MakeBinForm::CombineNotice(missing).text, dir.File("in/cvd.dat"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.bin")));

  form.paths[MakeBinForm::kCvd] = dir.Write("cvd.dat", std::string(kCvdRegion.length + 1, 'c'));
  const Notice tooLong = MakeBinForm::CombineNotice(form.Combine());
  EXPECT_EQ(tooLong.text, dir.File("cvd.dat") +
                              "\nis larger than the CVD region of a table file (2048 bytes). "
                              "Nothing was written.");
  EXPECT_TRUE(tooLong.warning);
  EXPECT_FALSE(MakeBinForm::CombineNotice({}).warning) << "Combine OK! is information";
}

}  // namespace
}  // namespace kiln::tools
