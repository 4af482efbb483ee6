// The version a colour table file carries near its end.
#include "app/colour_mode.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kiln::app
