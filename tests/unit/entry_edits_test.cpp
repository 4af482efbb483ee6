// Removing keys from Kiln.ini and choosing the section a model entry lives in.
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

TEST(EntryEdits, AppliesSetsAndRemovalsInOrderInOneReplacement) {
  TempDir dir;
  const std::string path =
      dir.Write("Kiln.ini", "[FW_INFO1]\nTableFile1=a.bin,A\nTableFile1=dup.bin,D\nModel=M01\n");
  EntryEdits edits("FW_INFO1");
  edits.Set("Model", "M09");
  edits.Remove("TableFile1");
  edits.Set("TableFile1", "b.bin,B");
  EXPECT_EQ(edits.Apply(path.c_str()), platform::ProfileEdit::kWritten);
  EXPECT_EQ(TempDir::Read(path), "[FW_INFO1]\nModel=M09\nTableFile1=b.bin,B\n")
      << "a duplicate line would otherwise come back into view";
}

TEST(EntrySectionInUse, EntryOneStaysInTheOlderSectionOnlyWhileItHoldsTheKeys) {
  TempDir dir;
  const std::string legacy = dir.Write("a.ini", "[FW_INFO1]\n; empty\n[FW_INFO]\nModel=M07\n");
  EXPECT_EQ(EntrySectionInUse(legacy.c_str(), 1), "FW_INFO");
  EXPECT_EQ(EntrySectionInUse(legacy.c_str(), 2), "FW_INFO2");
  const std::string both = dir.Write("b.ini", "[FW_INFO]\nModel=M07\n[FW_INFO1]\nModel=M09\n");
  EXPECT_EQ(EntrySectionInUse(both.c_str(), 1), "FW_INFO1");
  EXPECT_EQ(EntrySectionInUse(dir.File("none.ini").c_str(), 1), "FW_INFO1");
}

}  // namespace
}  // namespace kiln::tools
