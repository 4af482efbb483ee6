// Removing keys from Kiln.ini.
#include "tools/entry_edits.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace kiln::tools {
namespace {

using kiln::testing::TempDir;

TEST(RemoveIniKey, RemovesOnlyTheWholeNamedKeyOfTheNamedSection) {
  TempDir dir;
  const std::string path =
      dir.Write("Kiln.ini",
                "[FW_INFO2]\r\nTableFile1=other.bin,Other\r\n"
                "[FW_INFO1]\r\nTableFile10=ten.bin,Ten\r\nNote=see TableFile1=x\r\n"
                "tablefile1=one.bin,One\r\nModel=M07\r\n[eng]\r\nTableFile1=Text\r\n");
  EXPECT_EQ(RemoveIniKey("FW_INFO1", "TableFile1", path.c_str()), RemoveKeyResult::kRemoved);
  EXPECT_EQ(TempDir::Read(path),
            "[FW_INFO2]\r\nTableFile1=other.bin,Other\r\n"
            "[FW_INFO1]\r\nTableFile10=ten.bin,Ten\r\nNote=see TableFile1=x\r\n"
            "Model=M07\r\n[eng]\r\nTableFile1=Text\r\n");
  EXPECT_EQ(RemoveIniKey("FW_INFO1", "TableFile1", path.c_str()), RemoveKeyResult::kNotFound)
      << "another section's key is not this section's";
}

TEST(RemoveIniKey, RemovesAKeyOnALastLineWithoutLineFeed) {
  TempDir dir;
  const std::string path = dir.Write("Kiln.ini", "[FW_INFO1]\nModel=M07\nTableFile3=c.bin,C");
  EXPECT_EQ(RemoveIniKey("fw_info1", "TABLEFILE3", path.c_str()), RemoveKeyResult::kRemoved);
  EXPECT_EQ(TempDir::Read(path), "[FW_INFO1]\nModel=M07\n");
}

TEST(RemoveIniKey, MissingFileHasNothingToRemoveAndAFolderCannotBeOpened) {
  TempDir dir;
  EXPECT_EQ(RemoveIniKey("FW_INFO1", "TableFile1", dir.File("Kiln.ini").c_str()),
            RemoveKeyResult::kNotFound);
  EXPECT_FALSE(std::filesystem::exists(dir.File("Kiln.ini")));
  EXPECT_EQ(RemoveIniKey("FW_INFO1", "TableFile1", dir.path().c_str()),
            RemoveKeyResult::kCannotOpen);
  EXPECT_EQ(RemoveIniKey("FW_INFO1", nullptr, dir.File("Kiln.ini").c_str()),
            RemoveKeyResult::kNotFound);
}

}  // namespace
}  // namespace kiln::tools
