// Reading a model entry of Kiln.ini into the update context: the context's values are
// the entry read before, and its fixed fields cut what does not fit.
#include "config/config_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

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

TEST_F(ReadEntry, EveryFieldLandsInItsPlaceAndAMissingPackageKeepsTheLaterOnes) {
  dir_.Write("fw.bin", "x");
  Ini("[FW_INFO1]\nCodeName=c.bin\nTableName=t.bin\nFwName=fw.bin\nOeeCodeName=oc.bin\n"
      "OeeTableName=ot.bin\nOeeFwName=of.bin\nCpu1st=1\nCpuFile=cf.bin\nCpuTable=ct.bin\n"
      "CpuFwCode=cc.bin\nSupportModel2=1\nDelay1=5\nDelay2=6\nNotWaitBurnOK=1\n");
  ASSERT_TRUE(ReadConfigSection(context_, 1));
  const std::pair<const PathText&, const char*> kPaths[] = {
      {context_.firmwarePath, "fw.bin"},    {context_.codePath, "c.bin"},
      {context_.tablePath, "t.bin"},        {context_.altFirmwarePath, "of.bin"},
      {context_.altCodePath, "oc.bin"},     {context_.altTablePath, "ot.bin"},
      {context_.cpuFirmwarePath, "cf.bin"}, {context_.cpuTablePath, "ct.bin"},
      {context_.cpuCodePath, "cc.bin"}};
  for (const auto& [path, name] : kPaths) EXPECT_EQ(path, In(name));
  EXPECT_EQ(context_.firmwareDelay, 6);

  Ini("[FW_INFO1]\nFile=gone.bin\nModel=M09\nWriteType=1\nCpu1st=0\nSupportModel2=0\nDelay1=9\n");
  EXPECT_FALSE(ReadConfigSection(context_, 1));
  EXPECT_EQ(context_.firmwarePath, In("gone.bin"));
  EXPECT_EQ(context_.codePath, In("c.bin")) << "no CodeName: the code path stays";
  EXPECT_EQ(context_.modelName, "M09") << "keys before the package check are read";
  EXPECT_EQ(context_.writeType, 1);
  EXPECT_TRUE(context_.cpuFirst) << "later keys keep their previous values";
  EXPECT_TRUE(context_.supportModel2);
  EXPECT_EQ(context_.cpuDelay, 5);
  EXPECT_TRUE(context_.noWaitBurnOk);
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
