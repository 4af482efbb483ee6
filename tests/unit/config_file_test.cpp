// Reading a model entry of Kiln.ini into the update context.
#include "config/config_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "support/temp_dir.h"

namespace kiln::config {
namespace {

using kiln::testing::TempDir;

class ReadEntry : public ::testing::Test {
 protected:
  void SetUp() override { SetProgramFolder(context_, dir_.path().c_str()); }
  void Ini(std::string_view text) { dir_.Write("Kiln.ini", text); }
  std::string In(std::string_view name) const { return dir_.File(name); }

  TempDir dir_;
  UpdateContext context_;
};

TEST_F(ReadEntry, ProgramFolderGivesIniPath) {
  UpdateContext context;
  SetProgramFolder(context, "/opt/kiln/");
  EXPECT_EQ(context.baseDir, "/opt/kiln");
  EXPECT_EQ(context.iniPath, "/opt/kiln/Kiln.ini");
}

TEST_F(ReadEntry, ReadsEveryKeyOfAnEntryWithAPackage) {
  dir_.Write("fw.bin", "package");
  Ini("[FW_INFO1]\nFile=fw.bin\nModel=M07\nWriteType=258\nCpu1st=1\nActInfo=1\nNoCheckPid=2\n"
      "NoCheckDriver=-1\nNoWaitBusyBeforeWriteFW=1\nSupportModel2=1\nCpuFile=cpu.bin\n"
      "Delay1=70000\nEnableTableSwitch=1\nDisableOverwriteNewer=yes\nNotWaitBurnOK=1\n"
      "NotCheckBusyAtStartup=1\n");
  ASSERT_TRUE(ReadConfigSection(context_, 1));
  EXPECT_EQ(context_.firmwarePath, In("fw.bin"));
  EXPECT_EQ(context_.modelName, "M07");
  EXPECT_EQ(context_.writeType, 0) << "258 is no write type: never sent as its low 8 bits";
  EXPECT_TRUE(context_.cpuFirst);
  EXPECT_TRUE(context_.showCountdown);
  EXPECT_FALSE(context_.noCheckPid) << "a flag is on only when exactly 1";
  EXPECT_FALSE(context_.noCheckDriver);
  EXPECT_TRUE(context_.noWaitBusyBeforeWrite);
  EXPECT_TRUE(context_.supportModel2);
  EXPECT_EQ(context_.cpuFirmwarePath, In("cpu.bin"));
  EXPECT_EQ(context_.cpuTablePath, In("CpuTable"));
  EXPECT_EQ(context_.cpuCodePath, In("CpuFwCode"));
  EXPECT_EQ(context_.cpuDelay, kLongestDelaySeconds) << "never its low 16 bits";
  EXPECT_EQ(context_.firmwareDelay, 25) << "absent Delay2";
  EXPECT_TRUE(context_.tableSwitch);
  EXPECT_FALSE(context_.noDowngrade);
  EXPECT_TRUE(context_.noWaitBurnOk);
  EXPECT_TRUE(context_.noBusyCheckAtStartup);
}

TEST_F(ReadEntry, FallsBackToFwInfoOnlyForEntryOneWithoutKeyLines) {
  dir_.Write("old.bin", "x");
  dir_.Write("new.bin", "x");
  Ini("[FW_INFO1]\n; only a comment\n[FW_INFO]\nFile=old.bin\n[FW_INFO2]\n");
  EXPECT_TRUE(ReadConfigSection(context_, 1));
  EXPECT_EQ(context_.firmwarePath, In("old.bin"));

  EXPECT_FALSE(ReadConfigSection(context_, 2)) << "no fall-back for entry 2";
  EXPECT_EQ(context_.firmwarePath, In("File"));

  Ini("[FW_INFO1]\nFile=new.bin\n[FW_INFO]\nFile=old.bin\n");
  EXPECT_TRUE(ReadConfigSection(context_, 1));
  EXPECT_EQ(context_.firmwarePath, In("new.bin"));
}

TEST_F(ReadEntry, CodeNameSwitchesThePackageKey) {
  dir_.Write("image.bin", "x");
  Ini("[FW_INFO1]\nCodeName=code.bin\nFwName=image.bin\nFile=ignored.bin\n"
      "[FW_INFO2]\nCodeName=codename\nFile=image.bin\n");
  ASSERT_TRUE(ReadConfigSection(context_, 1));
  EXPECT_EQ(context_.codePath, In("code.bin"));
  EXPECT_EQ(context_.tablePath, In("TableName")) << "absent TableName reads as its own name";
  EXPECT_EQ(context_.firmwarePath, In("image.bin"));

  // The word CodeName itself counts as absent; entry 1's code and table paths stay.
  ASSERT_TRUE(ReadConfigSection(context_, 2));
  EXPECT_EQ(context_.firmwarePath, In("image.bin"));
  EXPECT_EQ(context_.codePath, In("code.bin"));
  EXPECT_EQ(context_.tablePath, In("TableName"));
}

TEST_F(ReadEntry, AlternativeSetIsReadOnlyWithOeeCodeName) {
  Ini("[FW_INFO1]\nOeeTableName=t.bin\nOeeFwName=f.bin\n");
  context_.altTablePath = "kept";
  ReadConfigSection(context_, 1);
  EXPECT_EQ(context_.altTablePath, "kept");
  EXPECT_TRUE(context_.altCodePath.empty());

  Ini("[FW_INFO1]\nOeeCodeName=oc.bin\nOeeFwName=f.bin\n");
  ReadConfigSection(context_, 1);
  EXPECT_EQ(context_.altCodePath, In("oc.bin"));
  EXPECT_EQ(context_.altTablePath, In("OeeTableName"));
  EXPECT_EQ(context_.altFirmwarePath, In("f.bin"));
}

TEST_F(ReadEntry, MissingPackageStopsBeforeTheOptions) {
  dir_.Write("fw.bin", "x");
  Ini("[FW_INFO1]\nFile=fw.bin\nCpu1st=1\nSupportModel2=1\nDelay1=5\nNotWaitBurnOK=1\n");
  ASSERT_TRUE(ReadConfigSection(context_, 1));

  Ini("[FW_INFO1]\nFile=gone.bin\nModel=M09\nWriteType=1\nCpu1st=0\nSupportModel2=0\nDelay1=9\n");
  EXPECT_FALSE(ReadConfigSection(context_, 1));
  EXPECT_EQ(context_.modelName, "M09") << "keys before the package check are read";
  EXPECT_EQ(context_.writeType, 1);
  EXPECT_TRUE(context_.cpuFirst) << "later keys keep their previous values";
  EXPECT_TRUE(context_.supportModel2);
  EXPECT_EQ(context_.cpuDelay, 5);
  EXPECT_TRUE(context_.noWaitBurnOk);
}

TEST_F(ReadEntry, NoFileOrSectionOrAFolderIsNoPackage) {
  EXPECT_FALSE(ReadConfigSection(context_, 1));
  EXPECT_EQ(context_.firmwarePath, In("File"));
  EXPECT_EQ(context_.modelName, "Model");

  Ini("[FW_INFO1]\nFile=\n");
  EXPECT_FALSE(ReadConfigSection(context_, 1)) << "an empty File= names the folder itself";
}

TEST_F(ReadEntry, DelayDefaultsAndNonNumericValues) {
  dir_.Write("fw.bin", "x");
  Ini("[FW_INFO1]\nFile=fw.bin\n");
  ASSERT_TRUE(ReadConfigSection(context_, 1));
  EXPECT_EQ(context_.cpuDelay, 20);
  EXPECT_EQ(context_.firmwareDelay, 25);

  // Neither a count-down of 18 hours nor one that wraps below the printer's time.
  const struct {
    const char* value;
    uint16_t seconds;
  } kDelays[] = {
      {"soon", 25},          {"-1", 25},          {"-5", 25},      {"0", 0},     {"1000", 1000},
      {"1001", 1000},        {"65535", 1000},     {"70000", 1000}, {" 40 ", 40}, {"+12", 12},
      {"99999999999", 1000}, {"4294967297", 1000}};
  for (const auto& delay : kDelays) {
    Ini(std::string("[FW_INFO1]\nFile=fw.bin\nDelay1=7\nDelay2=") + delay.value + "\n");
    ASSERT_TRUE(ReadConfigSection(context_, 1));
    EXPECT_EQ(context_.firmwareDelay, delay.seconds) << "Delay2=" << delay.value;
    EXPECT_EQ(context_.cpuDelay, 7);
  }
}

TEST_F(ReadEntry, WriteTypeOutsideZeroToTwoIsZeroAndAdjustmentsAreTraced) {
  dir_.Write("fw.bin", "x");
  const std::string trace = dir_.File("trace.log");
  ::setenv("KILN_LOG_FILE", trace.c_str(), 1);
  ::setenv("KILN_LOG_LEVEL", "1", 1);
  for (const char* value : {"-1", "3", "258", "two"}) {
    Ini(std::string("[FW_INFO1]\nFile=fw.bin\nWriteType=") + value + "\n");
    ASSERT_TRUE(ReadConfigSection(context_, 1));
    EXPECT_EQ(context_.writeType, 0) << "WriteType=" << value;
  }
  Ini("[FW_INFO1]\nFile=fw.bin\nWriteType=2\nDelay1=-5\n");
  ASSERT_TRUE(ReadConfigSection(context_, 1));
  EXPECT_EQ(context_.writeType, 2);
  ::unsetenv("KILN_LOG_FILE");
  ::unsetenv("KILN_LOG_LEVEL");
  const std::string lines = TempDir::Read(trace);
  EXPECT_NE(lines.find("WriteType=258 is not 0, 1 or 2: 0 is used"), std::string::npos) << lines;
  EXPECT_NE(lines.find("Delay1=-5 is negative: 20 is used"), std::string::npos) << lines;
  EXPECT_EQ(lines.find("WriteType=2 "), std::string::npos) << "a valid value is not noted";
}

TEST_F(ReadEntry, OverlongValuesAreCutToTheField) {
  const std::string longName(700, 'n');
  Ini("[FW_INFO1]\nFile=" + longName + "\nModel=" + std::string(100, 'm') + "\n");
  EXPECT_FALSE(ReadConfigSection(context_, 1));
  EXPECT_EQ(context_.firmwarePath.size(), 511u);
  EXPECT_EQ(context_.modelName.size(), 63u);
}

}  // namespace
}  // namespace kiln::config
