// The colour tables an entry offers, their versions, and the Change Color Mode form.
#include "app/colour_mode.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/colour_mode_form.h"
#include "support/temp_dir.h"

namespace kiln::app {
namespace {

TEST(ColourTableVersion, SevenBytesEightBeforeTheEndOrNineForModel22) {
  testing::TempDir dir;
  const std::string table = dir.Write("t.tbl", "0123456789ABCDEF");
  EXPECT_EQ(ReadColourTableVersion(table.c_str(), 7), "89ABCDE");
  EXPECT_EQ(ReadColourTableVersion(table.c_str(), 22), "789ABCD");
  EXPECT_EQ(ReadColourTableVersion(table.c_str(), 23), "89ABCDE");

  // Nine bytes are the least that holds a version for every model.
  const std::string nine = dir.Write("nine.tbl", "012345678");
  EXPECT_EQ(ReadColourTableVersion(nine.c_str(), 7), "1234567");
  EXPECT_EQ(ReadColourTableVersion(nine.c_str(), 22), "0123456");
  const std::string eight = dir.Write("eight.tbl", "01234567");
  EXPECT_EQ(ReadColourTableVersion(eight.c_str(), 7), "");
  EXPECT_EQ(ReadColourTableVersion(eight.c_str(), 22), "");

  // Read as text: it ends at a zero byte. A missing file has no version.
  const std::string zero = dir.Write("zero.tbl", std::string("xxx1.05\0\0\0\0", 11));
  EXPECT_EQ(ReadColourTableVersion(zero.c_str(), 7), "1.05");
  EXPECT_EQ(ReadColourTableVersion(dir.File("none.tbl").c_str(), 7), "");
}

TEST(ColourTableChoice, NumberZeroChangesNothingAndAValueWithoutCommaIsAFileName) {
  testing::TempDir dir;
  dir.Write("Kiln.ini", "[FW_INFO2]\r\nTableFile1=plain.tbl\r\n");
  const config::ConfigFolder folder = config::ConfigFolder::At(dir.path().string());
  std::string chosen = "kept";
  EXPECT_FALSE(ChooseColourTable(folder, 2, 0, chosen));
  EXPECT_EQ(chosen, "kept");
  EXPECT_TRUE(ChooseColourTable(folder, 2, 1, chosen));
  EXPECT_EQ(chosen, dir.File("plain.tbl"));

  const std::vector<ColourTable> tables = ReadColourTables(folder, 2, 7);
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].fileName, "plain.tbl");
  EXPECT_TRUE(tables[0].modeName.empty());
}

TEST(ColourTableList, HoldsAHundredTablesAndNoMore) {
  testing::TempDir dir;
  std::string ini = "[FW_INFO1]\r\n";
  for (int n = 1; n <= 101; ++n) ini += "TableFile" + std::to_string(n) + "=t.tbl,M\r\n";
  dir.Write("Kiln.ini", ini);
  EXPECT_EQ(ReadColourTables(config::ConfigFolder::At(dir.path().string()), 1, 7).size(), 100u);
}

// The rows end at the first missing number, each with its version; the description
// follows the row; opening clears Kiln.ini's read-only protection.
TEST(ColourModeForm, RowsVersionsAndDescriptionsOfTheEntry) {
  testing::TempDir dir;
  dir.Write("Kiln.ini",
            "[FW_INFO1]\r\nTableFile1=a.tbl,Vivid\r\nTableFile2=b.tbl,Standard\r\n"
            "TableFile3=c.tbl,Natural\r\nTableFile5=e.tbl,Beyond the gap\r\n"
            "ColorModeDesc1=Bright colours\r\nColorModeDesc2=True colours\r\n");
  dir.Write("a.tbl", "0123456789ABCDEF");
  dir.Write("c.tbl", "short");
  ASSERT_EQ(::chmod(dir.File("Kiln.ini").c_str(), 0444), 0);
  const config::ConfigFolder folder = config::ConfigFolder::At(dir.path().string());
  const ColourModeForm form(folder, 1, 7, "Vivid", "eng");
  struct stat status {};
  ASSERT_EQ(::stat(folder.iniPath.c_str(), &status), 0);
  EXPECT_NE(status.st_mode & S_IWUSR, 0u);

  ASSERT_EQ(form.rows().size(), 3u);
  EXPECT_EQ(form.rows()[0], "Vivid  (89ABCDE)");
  EXPECT_EQ(form.rows()[1], "Standard  ()") << "b.tbl is missing";
  EXPECT_EQ(form.rows()[2], "Natural  ()") << "c.tbl is too short";
  EXPECT_EQ(form.Description(0), "Bright colours");
  EXPECT_EQ(form.Description(1), "True colours");
  EXPECT_EQ(form.Description(2), "");
  EXPECT_EQ(form.currentMode(), "Vivid");
  EXPECT_TRUE(form.CanChoose());
  EXPECT_EQ(ColourModeForm(folder, 1, 22, "", "eng").rows()[0], "Vivid  (789ABCD)");
  EXPECT_FALSE(ColourModeForm(folder, 2, 7, "", "eng").CanChoose());
}

}  // namespace
}  // namespace kiln::app
