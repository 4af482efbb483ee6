#include "i18n/driver_error_text.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_language_probes.h"
#include "support/temp_dir.h"

namespace kiln::i18n {
namespace {

using kiln::testing::FakeLanguageProbes;
using kiln::testing::FolderOsProbes;
using kiln::testing::ScopedLanguageEnvironment;
using kiln::testing::TempDir;

constexpr platform::LangId kEnglishUs = 0x0409;
constexpr platform::LangId kGerman = 0x0407;

TEST(DriverLanguageFile, NamedAfterFolderTagAndDriverCode) {
  FolderOsProbes folder("/usr/share/kiln/drivers");
  FakeLanguageProbes german(kGerman);
  EXPECT_EQ(DriverLanguageFilePath(27, false, folder, german),
            "/usr/share/kiln/drivers/oxgerqdc.ini");
}

TEST(DriverLanguageFile, LinuxFolderAndLocale) {
  ScopedLanguageEnvironment environment;
  environment.Set("KILN_DRIVER_DIR", "/opt/printer-drivers/");
  environment.Set("LANG", "C");
  EXPECT_EQ(DriverLanguageFilePath(7, false), "/opt/printer-drivers/oxengqpc.ini");
}

TEST(DriverLanguageFile, FirstGenerationCodesOnlyForModelsOneAndTwo) {
  FolderOsProbes folder("/drivers");
  FakeLanguageProbes english(kEnglishUs);
  EXPECT_EQ(DriverLanguageFilePath(1, true, folder, english), "/drivers/oxengqpa.ini");
  EXPECT_EQ(DriverLanguageFilePath(2, true, folder, english), "/drivers/oxengqsa.ini");
  EXPECT_EQ(DriverLanguageFilePath(2, false, folder, english), "/drivers/oxengq3a.ini");
  EXPECT_EQ(DriverLanguageFilePath(38, false, folder, english), "/drivers/oxengqcc.ini");
  // No row to name a file after.
  EXPECT_EQ(DriverLanguageFilePath(7, true, folder, english), "");
  EXPECT_EQ(DriverLanguageFilePath(0, false, folder, english), "");
  EXPECT_EQ(DriverLanguageFilePath(39, false, folder, english), "");
  FolderOsProbes deepFolder("/" + std::string(1010, 'd'));
  EXPECT_EQ(DriverLanguageFilePath(7, false, deepFolder, english), "") << "never cut to a prefix";
}

class DriverErrorTextTest : public ::testing::Test {
 protected:
  TempDir dir_;
  FolderOsProbes folder_{dir_.path().string()};
  FakeLanguageProbes german_{kGerman};
};

TEST_F(DriverErrorTextTest, MessageTranslatedThroughTheLanguageMonitorFile) {
  dir_.Write("oxgerqpc.ini",
             "[DRIVER]\nReadFile time out.=wrong section\n"
             "[LANGUAGE_MONITOR]\nReadFile time out.=Zeitueberschreitung beim Lesen.\n"
             "Paper out or feeding error.=Papier leer.\n");
  LanguageText out("previous");
  EXPECT_TRUE(GetDriverErrorText(7, 0x00000026, out, false, folder_, german_));
  EXPECT_EQ(out, "Zeitueberschreitung beim Lesen.");
  EXPECT_TRUE(GetDriverErrorText(9, 0x00008000, out, false, folder_, german_))
      << "model 9 shares model 7's driver";
  EXPECT_EQ(out, "Papier leer.");
  EXPECT_TRUE(GetDriverErrorText(7, 0x00030302, out, false, folder_, german_));
  EXPECT_EQ(out, "Firmware code check sum error!") << "no translation: English";
}

TEST_F(DriverErrorTextTest, MissingFileGivesTheEnglishMessage) {
  LanguageText out;
  EXPECT_TRUE(GetDriverErrorText(37, 0x00008000, out, false, folder_, german_));
  EXPECT_EQ(out, "Card out or feeding error.");
  EXPECT_TRUE(GetDriverErrorText(7, 0x00000026, out, true, folder_, german_))
      << "no first-generation driver for model 7";
  EXPECT_EQ(out, "ReadFile time out.");
}

TEST_F(DriverErrorTextTest, CodesWithoutMessageLeaveTheTextAlone) {
  LanguageText out("Writing firmware....");
  EXPECT_FALSE(GetDriverErrorText(7, 0, out, false, folder_, german_));
  EXPECT_FALSE(GetDriverErrorText(7, 0x00ABCDEF, out, false, folder_, german_));
  EXPECT_FALSE(GetDriverErrorText(37, 0x00008008, out, false, folder_, german_));
  EXPECT_EQ(out, "Writing firmware....");
}

}  // namespace
}  // namespace kiln::i18n
