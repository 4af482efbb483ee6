// Writing Kiln.ini: in-place edits that keep every other byte, and atomic replacement.
#include <fcntl.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/file.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/ini_document.h"
#include "platform/linux/unique_fd.h"
#include "platform/profile.h"
#include "support/temp_dir.h"

namespace kiln::platform {
namespace {

using kiln::testing::TempDir;

class ProfileWrite : public ::testing::Test {
 protected:
  std::string Ini(std::string_view text) {
    path_ = dir_.Write("Kiln.ini", text);
    return path_;
  }
  std::string Contents() const { return TempDir::Read(path_); }
  bool Write(const char* section, const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, path_.c_str());
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(ProfileWrite, NewFileAndSectionUseCrlf) {
  path_ = dir_.File("Kiln.ini");
  ASSERT_TRUE(Write("FW_INFO1", "Model", "M07"));
  EXPECT_EQ(Contents(), "[FW_INFO1]\r\nModel=M07\r\n");
  ASSERT_TRUE(Write("FW_INFO2", "File", "b.bin"));
  EXPECT_EQ(Contents(), "[FW_INFO1]\r\nModel=M07\r\n[FW_INFO2]\r\nFile=b.bin\r\n");
}

TEST_F(ProfileWrite, ReplacesInPlaceKeepingSpellingAndOtherBytes) {
  Ini("; header comment\n[fw_info1]\n  MODEL = M01 \n\n; keep\nFile=a.bin\n\n[eng]\nReady=Ready\n");
  ASSERT_TRUE(Write("FW_INFO1", "model", "M09"));
  EXPECT_EQ(
      Contents(),
      "; header comment\n[fw_info1]\nMODEL=M09\n\n; keep\nFile=a.bin\n\n[eng]\nReady=Ready\n");
}

TEST_F(ProfileWrite, AppendsNewKeyAtTheEndOfItsSection) {
  Ini("[a]\r\none=1\r\n\r\n[b]\r\nx=y\r\n");
  ASSERT_TRUE(Write("A", "two", "2"));
  EXPECT_EQ(Contents(), "[a]\r\none=1\r\ntwo=2\r\n\r\n[b]\r\nx=y\r\n");
  ASSERT_TRUE(Write("b", "z", "w"));
  EXPECT_EQ(Contents(), "[a]\r\none=1\r\ntwo=2\r\n\r\n[b]\r\nx=y\r\nz=w\r\n");
}

TEST_F(ProfileWrite, KeepsLfStyleAndEndsAnUnterminatedLastLine) {
  Ini("[a]\nk=v");
  ASSERT_TRUE(Write("a", "n", "1"));
  EXPECT_EQ(Contents(), "[a]\nk=v\nn=1\n");
  Ini("[a]\nk=v");
  ASSERT_TRUE(Write("a", "k", "w"));
  EXPECT_EQ(Contents(), "[a]\nk=w") << "a replaced last line keeps having no ending";
  Ini("[a]\rk=v\r");
  ASSERT_TRUE(Write("new", "k", "v"));
  EXPECT_EQ(Contents(), "[a]\rk=v\r[new]\rk=v\r");
}

TEST_F(ProfileWrite, NullValueRemovesKeyAndNullKeyRemovesSection) {
  Ini("[a]\nk=v\nkeep=1\n[TableList]\nTableFile1=t.bin,Vivid\nTableFile2=u.bin,Soft\n[z]\nq=1\n");
  ASSERT_TRUE(Write("a", "K", nullptr));
  EXPECT_EQ(Contents(),
            "[a]\nkeep=1\n[TableList]\nTableFile1=t.bin,Vivid\nTableFile2=u.bin,Soft\n[z]\nq=1\n");
  ASSERT_TRUE(Write("tablelist", nullptr, nullptr));
  EXPECT_EQ(Contents(), "[a]\nkeep=1\n[z]\nq=1\n");
  ASSERT_TRUE(Write("a", "absent", nullptr)) << "removing what is not there succeeds";
  ASSERT_TRUE(Write("absent", nullptr, nullptr));
  EXPECT_EQ(Contents(), "[a]\nkeep=1\n[z]\nq=1\n");
}

TEST_F(ProfileWrite, EditsSeveralKeysInOneReplacementOrNotAtAll) {
  Ini("[a]\nk=v\nBareWord\n");
  EXPECT_EQ(EditProfile(path_.c_str(),
                        [](IniDocument& doc) {
                          doc.SetValue("a", "x", "1");
                          doc.DeleteKey("a", "k");
                          return true;
                        }),
            ProfileEdit::kWritten);
  EXPECT_EQ(Contents(), "[a]\nBareWord\nx=1\n") << "a line without '=' is kept in place";
  EXPECT_EQ(EditProfile(path_.c_str(), [](IniDocument&) { return false; }),
            ProfileEdit::kUnchanged);

  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  EXPECT_EQ(EditProfile(path_.c_str(), [](IniDocument&) { return true; }), ProfileEdit::kReadOnly);
  path_ = dir_.path().string();
  EXPECT_EQ(EditProfile(path_.c_str(), [](IniDocument&) { return true; }),
            ProfileEdit::kCannotRead);
}

TEST_F(ProfileWrite, LineBreaksAndZeroBytesAreRefusedAndNothingChanges) {
  const std::string original = "[FW_INFO1]\r\nColorModeDesc1=old\r\n";
  Ini(original);
  EXPECT_FALSE(Write("FW_INFO1", "ColorModeDesc1", "Vivid\n[FW_INFO2]\nFile=evil.bin"));
  EXPECT_FALSE(Write("FW_INFO1", "ColorModeDesc1", "carriage\rreturn"));
  EXPECT_FALSE(Write("FW_INFO1", "New\nKey", "v"));
  EXPECT_FALSE(Write("FW\r\nINFO", "k", "v"));
  EXPECT_EQ(Contents(), original);

  // One refused edit fails the whole replacement, a zero byte inside a value too.
  EXPECT_EQ(EditProfile(path_.c_str(),
                        [](IniDocument& doc) {
                          doc.SetValue("FW_INFO1", "File", "fine.bin");
                          doc.SetValue("FW_INFO1", "Desc", std::string_view("a\0b", 3));
                          return true;
                        }),
            ProfileEdit::kRefused);
  EXPECT_EQ(Contents(), original);
}

TEST_F(ProfileWrite, ValuesLoseLeadingBlanksAndEmptySectionIsThePartBeforeHeaders) {
  Ini("top=1\n[a]\nk=v\n");
  ASSERT_TRUE(Write("a", "k", "  lead and trail  "));
  ASSERT_TRUE(Write("", "top", "2"));
  ASSERT_TRUE(Write("", "more", "3"));
  EXPECT_EQ(Contents(), "top=2\nmore=3\n[a]\nk=lead and trail  \n");
  char out[32];
  GetPrivateProfileStringA("a", "k", "", out, sizeof out, path_.c_str());
  EXPECT_STREQ(out, "lead and trail");
}

TEST_F(ProfileWrite, NewKeysTakeTheFirstLineEndingAndUnchangedValuesLeaveTheFile) {
  Ini("[a]\r\nk=v\nz=1\n");
  ASSERT_TRUE(Write("a", "n", "2"));
  EXPECT_EQ(Contents(), "[a]\r\nk=v\nz=1\nn=2\r\n");

  struct stat before {};
  ASSERT_EQ(::stat(path_.c_str(), &before), 0);
  ASSERT_TRUE(Write("A", "K", "v"));
  struct stat after {};
  ASSERT_EQ(::stat(path_.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "an unchanged value must not replace the file";
}

TEST_F(ProfileWrite, PreservesByteOrderMarkAndForeignBytes) {
  Ini("\xEF\xBB\xBF[ger]\r\nReady=Bereit \xE4\r\n");
  ASSERT_TRUE(Write("ger", "Done", "Fertig \xFC"));
  EXPECT_EQ(Contents(), "\xEF\xBB\xBF[ger]\r\nReady=Bereit \xE4\r\nDone=Fertig \xFC\r\n");
  char out[64];
  GetPrivateProfileStringA("ger", "Done", "", out, sizeof out, path_.c_str());
  EXPECT_STREQ(out, "Fertig \xFC");
}

TEST_F(ProfileWrite, ValueWithEqualsSignRoundTrips) {
  Ini("");
  ASSERT_TRUE(Write("s", "a", "b=c"));
  char out[16];
  GetPrivateProfileStringA("s", "a", "", out, sizeof out, path_.c_str());
  EXPECT_STREQ(out, "b=c");
}

TEST_F(ProfileWrite, ReadOnlyFileIsRefusedUntilAttributesAreNormal) {
  const std::string original = "[a]\nk=v\n";
  Ini(original);
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  EXPECT_FALSE(Write("a", "k", "changed"));
  EXPECT_EQ(Contents(), original);

  ASSERT_TRUE(SetFileAttributesNormal(path_.c_str()));
  struct stat info {};
  ASSERT_EQ(::stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  EXPECT_TRUE(Write("a", "k", "changed"));
  EXPECT_EQ(Contents(), "[a]\nk=changed\n");
  EXPECT_FALSE(SetFileAttributesNormal(dir_.File("missing.ini").c_str()));
}

// Folder permissions, lock files, file modes and symbolic links: the Linux engine's
// replacement only.
#ifndef _WIN32
TEST_F(ProfileWrite, FailedReplacementLeavesOldFileAndNoLeftovers) {
  const std::string original = "[a]\nk=v\n";
  Ini(original);
  // A folder that cannot take the temporary file: the write fails as a whole.
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0555), 0);
  if (::geteuid() == 0) {
    // root ignores folder permissions; a path whose folder is a file fails for anyone.
    ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
    path_ = dir_.Write("plainfile", "x") + "/Kiln.ini";
    EXPECT_FALSE(Write("a", "k", "w"));
    return;
  }
  EXPECT_FALSE(Write("a", "k", "changed"));
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
  EXPECT_EQ(Contents(), original);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(ProfileWrite, NextWriteRemovesTemporaryFilesOfKilledWriters) {
  Ini("[a]\nk=v\n");
  const std::string abandoned = dir_.Write("Kiln.ini.kilntmp.Ab12Cd", "[a]\nk=ha");
  const std::string inUse = dir_.Write("Kiln.ini.kilntmp.Ef34Gh", "[a]\nk=wr");
  const std::string backup = dir_.Write("Kiln.ini.kilntmp", "keep");
  // A writer that is still alive holds a lock on its temporary file.
  UniqueFd writer(::open(inUse.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(::flock(writer.get(), LOCK_EX), 0);

  ASSERT_TRUE(Write("a", "k", "w"));
  EXPECT_EQ(Contents(), "[a]\nk=w\n");
  EXPECT_FALSE(std::filesystem::exists(abandoned));
  EXPECT_TRUE(std::filesystem::exists(inUse));
  EXPECT_TRUE(std::filesystem::exists(backup));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()),
            3)
      << "the write left its own temporary file";
}

TEST_F(ProfileWrite, ReplacementKeepsModeAndWritesThroughSymlink) {
  Ini("[a]\nk=v\n");
  ASSERT_EQ(::chmod(path_.c_str(), 0640), 0);
  const std::string link = dir_.File("link.ini");
  std::filesystem::create_symlink(path_, link);
  ASSERT_TRUE(WritePrivateProfileStringA("a", "k", "w", link.c_str()));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Contents(), "[a]\nk=w\n");
  struct stat info {};
  ASSERT_EQ(::stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

#endif

TEST_F(ProfileWrite, RejectsFolderAndNullSection) {
  path_ = dir_.path().string();
  EXPECT_FALSE(Write("a", "k", "v"));
  path_ = dir_.File("Kiln.ini");
  EXPECT_FALSE(Write(nullptr, "k", "v"));
  EXPECT_FALSE(std::filesystem::exists(path_));
}

}  // namespace
}  // namespace kiln::platform
