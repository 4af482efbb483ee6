// A model entry of Kiln.ini as the update reads it, and as the maintenance dialogs read
// and write it.
#include "config/model_entry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <ostream>
#include <string>

#include "support/temp_dir.h"

namespace kiln::config {

void PrintTo(const ModelEntry& e, std::ostream* out) {
  *out << "[" << e.section << "] found=" << e.packageFound << " fw=" << e.firmware
       << " code=" << e.code << " table=" << e.table << " alt=" << e.altFirmware << "," << e.altCode
       << "," << e.altTable << " model=" << e.modelName << " type=" << int{e.writeType}
       << " cpu=" << e.cpuFirmware << "," << e.cpuTable << "," << e.cpuCode
       << " delays=" << e.cpuDelay << "," << e.firmwareDelay << " flags=" << e.cpuFirst
       << e.showCountdown << e.noCheckPid << e.noCheckDriver << e.noWaitBusyBeforeWrite
       << e.supportModel2 << e.tableSwitch << e.noDowngrade << e.noWaitBurnOk
       << e.noBusyCheckAtStartup;
}

namespace {

using kiln::testing::TempDir;

class ModelEntryTest : public ::testing::Test {
 protected:
  void Ini(std::string_view text) { dir_.Write("Kiln.ini", text); }
  std::string In(std::string_view name) const { return folder_.PathOf(name); }
  std::string Contents() const { return TempDir::Read(folder_.iniPath); }

  TempDir dir_;
  ConfigFolder folder_ = ConfigFolder::At(dir_.path().string());
};

// An entry read before, every field set, so that whatever a read leaves shows.
ModelEntry Previous() {
  ModelEntry e;
  e.firmware = "old/fw";
  e.code = "old/code";
  e.table = "old/table";
  e.altFirmware = "old/alt-fw";
  e.altCode = "old/alt-code";
  e.altTable = "old/alt-table";
  e.modelName = "M05";
  e.writeType = 2;
  e.cpuFirst = e.showCountdown = e.noCheckPid = e.noCheckDriver = true;
  e.noWaitBusyBeforeWrite = e.supportModel2 = true;
  e.tableSwitch = e.noDowngrade = e.noWaitBurnOk = e.noBusyCheckAtStartup = true;
  e.cpuFirmware = "old/cpu";
  e.cpuTable = "old/cpu-table";
  e.cpuCode = "old/cpu-code";
  e.cpuDelay = 7;
  e.firmwareDelay = 8;
  return e;
}

// Joined with the system's separator ('\\' on Windows), the folder as given.
TEST_F(ModelEntryTest, FolderPathsAreTheFolderAsGiven) {
#ifdef _WIN32
  const std::string separator = "\\";
#else
  const std::string separator = "/";
#endif
  const ConfigFolder folder = ConfigFolder::At("/opt/kiln/");
  EXPECT_EQ(folder.iniPath, "/opt/kiln/" + separator + "Kiln.ini");
  EXPECT_EQ(folder.PathOf("fw.bin"), "/opt/kiln/" + separator + "fw.bin");
}

TEST_F(ModelEntryTest, ReadsWhatTheEntryNamesAndKeepsTheRest) {
  dir_.Write("fw.bin", "package");
  // A section read with its package found and nothing else named.
  const auto Found = [&](ModelEntry& e, const char* section) {
    e.section = section;
    e.packageFound = true;
    e.firmware = In("fw.bin");
    e.modelName = "Model";
    e.writeType = 0;
    e.cpuFirst = e.showCountdown = e.noCheckPid = e.noCheckDriver = false;
    e.noWaitBusyBeforeWrite = e.supportModel2 = false;
    e.tableSwitch = e.noDowngrade = e.noWaitBurnOk = e.noBusyCheckAtStartup = false;
    e.cpuDelay = 20;
    e.firmwareDelay = 25;
  };
  const auto NotFound = [&](ModelEntry& e, const char* section, const char* file) {
    e.section = section;
    e.packageFound = false;
    e.firmware = In(file);
    e.modelName = "Model";
    e.writeType = 0;
  };
  const struct {
    const char* what;
    int index;
    const char* ini;
    std::function<void(ModelEntry&)> change;  // from Previous()
  } kCases[] = {
      {"every key; a flag is on only when exactly 1; no fall-back while FW_INFO1 has keys", 1,
       "[FW_INFO]\nFile=old.bin\n[FW_INFO1]\nFile=fw.bin\nModel=M07\nWriteType=258\nCpu1st=1\n"
       "ActInfo=1\nNoCheckPid=2\nNoCheckDriver=-1\nNoWaitBusyBeforeWriteFW=1\nSupportModel2=1\n"
       "CpuFile=cpu.bin\nDelay1=70000\nEnableTableSwitch=1\nDisableOverwriteNewer=yes\n"
       "NotWaitBurnOK=1\nNotCheckBusyAtStartup=1\n",
       [&](ModelEntry& e) {
         Found(e, "FW_INFO1");
         e.modelName = "M07";
         e.cpuFirst = e.showCountdown = e.noWaitBusyBeforeWrite = e.supportModel2 = true;
         e.tableSwitch = e.noWaitBurnOk = e.noBusyCheckAtStartup = true;
         e.cpuFirmware = In("cpu.bin");
         e.cpuTable = In("CpuTable");
         e.cpuCode = In("CpuFwCode");
         e.cpuDelay = kLongestDelaySeconds;
       }},
      {"entry 1 falls back to FW_INFO when FW_INFO1 has no key lines", 1,
       "[FW_INFO1]\n; only a comment\n[FW_INFO]\nFile=fw.bin\n[FW_INFO2]\n",
       [&](ModelEntry& e) { Found(e, "FW_INFO"); }},
      {"entry 2 has no fall-back", 2,
       "[FW_INFO1]\n; only a comment\n[FW_INFO]\nFile=fw.bin\n[FW_INFO2]\n",
       [&](ModelEntry& e) { NotFound(e, "FW_INFO2", "File"); }},
      {"CodeName switches the package key; no OeeCodeName keeps the alternative set", 1,
       "[FW_INFO1]\nCodeName=code.bin\nFwName=fw.bin\nFile=ignored.bin\nOeeTableName=ot.bin\n",
       [&](ModelEntry& e) {
         Found(e, "FW_INFO1");
         e.code = In("code.bin");
         e.table = In("TableName");
       }},
      {"CodeName holding its own name is absent: code and table paths stay", 2,
       "[FW_INFO2]\nCodeName=codename\nFwName=other.bin\nFile=fw.bin\n",
       [&](ModelEntry& e) { Found(e, "FW_INFO2"); }},
      {"OeeCodeName reads the alternative set", 1,
       "[FW_INFO1]\nOeeCodeName=oc.bin\nOeeFwName=of.bin\n",
       [&](ModelEntry& e) {
         NotFound(e, "FW_INFO1", "File");
         e.altCode = In("oc.bin");
         e.altTable = In("OeeTableName");
         e.altFirmware = In("of.bin");
       }},
      {"a missing package stops the read before Cpu1st", 1,
       "[FW_INFO1]\nFile=gone.bin\nModel=M09\nWriteType=1\nCpu1st=0\nSupportModel2=0\nDelay1=9\n",
       [&](ModelEntry& e) {
         NotFound(e, "FW_INFO1", "gone.bin");
         e.modelName = "M09";
         e.writeType = 1;
       }},
      {"an empty File= names the folder itself, no package", 1, "[FW_INFO1]\nFile=\n",
       [&](ModelEntry& e) { NotFound(e, "FW_INFO1", ""); }},
  };
  for (const auto& c : kCases) {
    Ini(c.ini);
    ModelEntry expected = Previous();
    expected.index = c.index;
    c.change(expected);
    EXPECT_EQ(ReadModelEntry(folder_, c.index, EarlierEntry::Of(Previous())), expected) << c.what;
  }
}

TEST_F(ModelEntryTest, DelaysOutsideTheRangeAreTheirDefaultOrTheLongest) {
  dir_.Write("fw.bin", "x");
  // Neither a count-down of 18 hours nor one that wraps below the printer's time.
  const struct {
    const char* value;
    uint16_t seconds;
  } kDelays[] = {
      {"", 25},       {"soon", 25},          {"-1", 25},          {"-5", 25},      {"0", 0},
      {"1000", 1000}, {"1001", 1000},        {"65535", 1000},     {"70000", 1000}, {" 40 ", 40},
      {"+12", 12},    {"99999999999", 1000}, {"4294967297", 1000}};
  for (const auto& delay : kDelays) {
    Ini(std::string("[FW_INFO1]\nFile=fw.bin\nDelay1=7\nDelay2=") + delay.value + "\n");
    const ModelEntry entry = ReadModelEntry(folder_, 1);
    EXPECT_EQ(entry.firmwareDelay, delay.seconds) << "Delay2=" << delay.value;
    EXPECT_EQ(entry.cpuDelay, 7);
  }
}

TEST_F(ModelEntryTest, WriteTypeOutsideZeroToTwoIsZeroAndAdjustmentsAreTraced) {
  dir_.Write("fw.bin", "x");
  const std::string trace = dir_.File("trace.log");
  ::setenv("KILN_LOG_FILE", trace.c_str(), 1);
  ::setenv("KILN_LOG_LEVEL", "1", 1);
  for (const char* value : {"-1", "3", "258", "two"}) {
    Ini(std::string("[FW_INFO1]\nFile=fw.bin\nWriteType=") + value + "\n");
    EXPECT_EQ(ReadModelEntry(folder_, 1).writeType, 0) << "WriteType=" << value;
  }
  Ini("[FW_INFO1]\nFile=fw.bin\nWriteType=2\nDelay1=-5\n");
  EXPECT_EQ(ReadModelEntry(folder_, 1).writeType, 2);
  ::unsetenv("KILN_LOG_FILE");
  ::unsetenv("KILN_LOG_LEVEL");
  const std::string lines = TempDir::Read(trace);
  EXPECT_NE(lines.find("Kiln.ini [FW_INFO1] WriteType=258 is not 0, 1 or 2: 0 is used"),
            std::string::npos)
      << lines;
  EXPECT_NE(lines.find("Delay1=-5 is negative: 20 is used"), std::string::npos) << lines;
  EXPECT_EQ(lines.find("WriteType=2 "), std::string::npos) << "a valid value is not noted";
  EXPECT_EQ(lines.find("Delay2"), std::string::npos) << "an absent delay is not noted";
}

TEST(EntrySectionInUse, EntryOneStaysInTheOlderSectionOnlyWhileItHoldsTheKeys) {
  TempDir dir;
  const ConfigFolder folder = ConfigFolder::At(dir.path().string());
  dir.Write("Kiln.ini", "[FW_INFO1]\n; empty\n[FW_INFO]\nModel=M07\n");
  EXPECT_EQ(EntrySectionInUse(folder, 1), "FW_INFO");
  EXPECT_EQ(EntrySectionInUse(folder, 2), "FW_INFO2");
  dir.Write("Kiln.ini", "[FW_INFO]\nModel=M07\n[FW_INFO1]\nModel=M09\n");
  EXPECT_EQ(EntrySectionInUse(folder, 1), "FW_INFO1");
  dir.Write("Kiln.ini", "[FW_INFO1]\n[FW_INFO]\n");
  EXPECT_EQ(EntrySectionInUse(folder, 1), "FW_INFO1");
}

// The Setting dialog's keys: Model by its serial number, File for a small model,
// WriteType only when 0-2, SupportModel2 only into entry 1, the tables rewritten whole
// with each description following its row.
TEST_F(ModelEntryTest, MainSettingsWriteOnlyTheirKeysAndReadBack) {
  Ini("[FW_INFO1]\nModel=M09\n[FW_INFO2]\nModel=m07\nFile=fw.bin\nWriteType=7\nSupportModel2=1\n"
      "TableFile1=a.bin,A\nTableFile1=dup.bin,D\nTableFile2=b.bin\nTableFile3=c.bin,C,c\n"
      "TableFile5=e.bin,E\nColorModeDesc1=descA\nColorModeDesc3=descC\nTableName=t.bin\n");
  EntrySettings settings = ReadEntrySettings(folder_, 2);
  EXPECT_EQ(settings.section, "FW_INFO2");
  EXPECT_EQ(settings.modelSerial, 7u);
  ASSERT_TRUE(settings.main && settings.advanced);
  EntrySettings::Main& main = *settings.main;
  EXPECT_EQ(main.file, "fw.bin");
  EXPECT_EQ(main.tableName, "") << "a small model's entry has no TableName to show";
  EXPECT_EQ(main.writeType, 7);
  EXPECT_TRUE(main.supportModel2);
  ASSERT_EQ(main.tableFiles.size(), 3u) << "the tables end at the first missing number";
  EXPECT_EQ(main.tableFiles[1].file, "b.bin");
  EXPECT_EQ(main.tableFiles[1].modeName, "");
  EXPECT_EQ(main.tableFiles[2].modeName, "C,c");
  EXPECT_EQ(main.tableFiles[2].modeDescription, "descC");
  EXPECT_EQ(settings.advanced->cpuDelay, 20);
  EXPECT_EQ(settings.advanced->firmwareDelay, 25);

  settings.advanced.reset();
  main.file = "fw2.bin";
  main.tableSwitch = true;
  main.supportModel2 = false;
  main.tableFiles.erase(main.tableFiles.begin() + 1);  // b.bin goes; c.bin becomes 2
  main.tableFiles.push_back({"n.bin", "New", "", 0});
  ASSERT_EQ(WriteEntrySettings(folder_, settings), platform::ProfileEdit::kWritten);
  EXPECT_EQ(Contents(),
            "[FW_INFO1]\nModel=M09\n[FW_INFO2]\nModel=M07\nFile=fw2.bin\nWriteType=7\n"
            "SupportModel2=1\nColorModeDesc1=descA\nTableName=t.bin\nEnableTableSwitch=1\n"
            "DisableOverwriteNewer=0\nNotWaitBurnOK=0\nTableFile1=a.bin,A\n"
            "TableFile2=c.bin,C,c\nTableFile3=n.bin,New\nColorModeDesc2=descC\n");

  const EntrySettings reread = ReadEntrySettings(folder_, 2);
  ASSERT_EQ(reread.main->tableFiles.size(), 3u);
  EXPECT_EQ(reread.main->tableFiles[0].modeDescription, "descA");
  EXPECT_EQ(reread.main->tableFiles[1].modeDescription, "descC");
  EXPECT_EQ(reread.main->tableFiles[2].file, "n.bin");
  EXPECT_EQ(reread.main->file, "fw2.bin");
  EXPECT_TRUE(reread.main->tableSwitch);
}

// The Advanced Settings dialog's keys: CpuTable and CpuFwCode for a large model only;
// nothing of the Setting dialog's, Model included. Delays show as the update uses them,
// so that OK does not turn a negative one (20 seconds) into 0.
TEST_F(ModelEntryTest, AdvancedSettingsWriteOnlyTheirKeysAndReadBack) {
  Ini("[FW_INFO1]\nModel=M07\nCpuTable=keep.bin\nDelay1=-5\nDelay2=40000\n");
  EntrySettings settings = ReadEntrySettings(folder_, 1);
  EntrySettings::Advanced& advanced = *settings.advanced;
  EXPECT_EQ(advanced.cpuTable, "") << "a small model's entry has no CpuTable to show";
  EXPECT_EQ(advanced.cpuDelay, 20);
  EXPECT_EQ(advanced.firmwareDelay, kLongestDelaySeconds);
  settings.main.reset();
  advanced.cpuFirst = true;
  advanced.cpuFile = "cpu.bin";
  advanced.cpuTable = "new.bin";
  advanced.cpuDelay = 30;
  advanced.firmwareDelay = 0;
  const std::string written =
      "Delay1=30\nDelay2=0\nCpu1st=1\nActInfo=0\nNoCheckPid=0\nNoCheckDriver=0\n"
      "NoWaitBusyBeforeWriteFW=0\nNotCheckBusyAtStartup=0\nCpuFile=cpu.bin\n";
  ASSERT_EQ(WriteEntrySettings(folder_, settings), platform::ProfileEdit::kWritten);
  EXPECT_EQ(Contents(), "[FW_INFO1]\nModel=M07\nCpuTable=keep.bin\n" + written);

  settings.modelSerial = 19;
  ASSERT_EQ(WriteEntrySettings(folder_, settings), platform::ProfileEdit::kWritten);
  EXPECT_EQ(Contents(), "[FW_INFO1]\nModel=M07\nCpuTable=new.bin\n" + written + "CpuFwCode=\n");

  const EntrySettings::Advanced reread = *ReadEntrySettings(folder_, 1).advanced;
  EXPECT_TRUE(reread.cpuFirst);
  EXPECT_EQ(reread.cpuFile, "cpu.bin");
  EXPECT_EQ(reread.cpuDelay, 30);
  EXPECT_EQ(reread.firmwareDelay, 0);
}

}  // namespace
}  // namespace kiln::config
