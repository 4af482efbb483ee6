#include "i18n/language_file.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "i18n/string_table.h"
#include "support/temp_dir.h"

namespace kiln::i18n {
namespace {

using kiln::testing::TempDir;

class LanguageFileTest : public ::testing::Test {
 protected:
  // Points texts at Kiln.ini in the folder with the given content and section.
  void Open(const std::string& content, const char* section = "ger") {
    path_ = dir_.Write("Kiln.ini", content);
    ASSERT_TRUE(texts_.SetFile(path_));
    ASSERT_TRUE(texts_.SetSection(section));
  }

  TempDir dir_;
  std::string path_;
  LanguageFile texts_;
};

TEST_F(LanguageFileTest, SetFileAndSectionReportUsableValuesAndStoreEither) {
  EXPECT_FALSE(texts_.SetFile(""));
  EXPECT_FALSE(texts_.SetFile(dir_.File("missing.ini")));
  EXPECT_STREQ(texts_.file(), dir_.File("missing.ini").c_str()) << "stored although missing";
  EXPECT_FALSE(texts_.SetFile(dir_.path().string())) << "a folder is no language file";
  EXPECT_TRUE(texts_.SetFile(dir_.Write("Kiln.ini", "[eng]\n")));

  EXPECT_FALSE(texts_.SetSection(""));
  EXPECT_STREQ(texts_.section(), "");
  EXPECT_TRUE(texts_.SetSection("jpn"));
  EXPECT_STREQ(texts_.section(), "jpn");
}

TEST_F(LanguageFileTest, GermanReadyWithoutReady2KeepsEnglishSecondLine) {
  Open("[eng]\nReady2=wrong section\n[ger]\nReady=Bereit. START druecken!\n");
  EXPECT_STREQ(texts_.GetText(keys::kReady).c_str(), "Bereit. START druecken!");
  EXPECT_STREQ(texts_.GetText(keys::kReady2).c_str(),
               "Notice! Don't plug out USB until finish updating firmware.");
}

TEST_F(LanguageFileTest, FallbacksLeaveTheEnglishText) {
  Open("[ger]\nNoDriver1=\nNoDriver2=\"\"\nOK=\n[fra]\nReady=Prêt\n");
  // Empty values, plain and quoted.
  EXPECT_STREQ(texts_.GetText(keys::kNoDriver1).c_str(), "There is no printer driver installed!");
  EXPECT_STREQ(texts_.GetText(keys::kNoDriver2).c_str(),
               "Please install correct printer driver first before you run this program.");
  EXPECT_STREQ(texts_.Translate("OK").c_str(), "OK");
  // Missing key.
  EXPECT_STREQ(texts_.GetText(keys::kDisconnected1).c_str(), "Printer is not connected!");
  EXPECT_STREQ(texts_.Translate("Exit").c_str(), "Exit");
  // Missing section.
  texts_.SetSection("ita");
  EXPECT_STREQ(texts_.GetText(keys::kReady).c_str(), "Ready to work. Press START to go!");
  // Missing file.
  texts_.SetFile(dir_.File("gone.ini"));
  texts_.SetSection("fra");
  EXPECT_STREQ(texts_.GetText(keys::kReady).c_str(), "Ready to work. Press START to go!");
  EXPECT_STREQ(texts_.Translate("START").c_str(), "START");
}

TEST(LanguageFileUnset, LookupsBeforeSetupGiveTheDefaults) {
  LanguageFile texts;
  EXPECT_STREQ(texts.GetText(keys::kNoIniFile1).c_str(), "Can't find Kiln.ini!");
  EXPECT_STREQ(texts.GetText("NoSuchKey", 9999).c_str(), "");
  EXPECT_STREQ(texts.Translate("Change Color Mode").c_str(), "Change Color Mode");
}

TEST_F(LanguageFileTest, CaptionsAreTheirOwnKeysMnemonicIncluded) {
  Open("[ger]\n&Start=&Los\nexit=Beenden\nVivid=Lebhaft\n");
  EXPECT_STREQ(texts_.Translate("&Start").c_str(), "&Los");
  EXPECT_STREQ(texts_.Translate("Start").c_str(), "Start") << "the ampersand is part of the key";
  EXPECT_STREQ(texts_.Translate("Exit").c_str(), "Beenden") << "keys match without regard to case";
  EXPECT_STREQ(texts_.Translate("Vivid").c_str(), "Lebhaft");
}

TEST_F(LanguageFileTest, EditsShowAtTheNextLookup) {
  Open("[ger]\nReady=Bereit\n");
  EXPECT_STREQ(texts_.GetText(keys::kReady).c_str(), "Bereit");
  dir_.Write("Kiln.ini", "[ger]\nReady=Fertig\n");
  EXPECT_STREQ(texts_.GetText(keys::kReady).c_str(), "Fertig");
}

TEST_F(LanguageFileTest, ATextReturnedEarlierCanBeLookedUpAgain) {
  Open("[ger]\nOK=Okay\nOkay=Gut\n");
  const LanguageText first = texts_.Translate("OK");
  EXPECT_STREQ(texts_.Translate(first).c_str(), "Gut");
  const LanguageText again = texts_.Translate("Unknown");
  EXPECT_STREQ(texts_.Translate(again).c_str(), "Unknown");
}

TEST_F(LanguageFileTest, TextsAreBoundedBy1024Characters) {
  const std::string longValue(2000, 'v');
  Open("[ger]\nReady=" + longValue + "\n");
  EXPECT_EQ(std::string(texts_.GetText(keys::kReady)), longValue.substr(0, 1023));

  const std::string longCaption(1500, 'c');
  EXPECT_EQ(std::string(texts_.Translate(longCaption)), longCaption.substr(0, 1023));

  const std::string longPath(1500, 'p');
  EXPECT_FALSE(texts_.SetFile(longPath));
  EXPECT_EQ(std::string(texts_.file()).size(), 1023u);
}

TEST_F(LanguageFileTest, OneFileAnswersTwoThreadsAtOnce) {
  Open("[ger]\nReady=Bereit\nExit=Beenden\n");
  const LanguageFile& shared = texts_;
  const auto lookUp = [&shared](const char* caption, const char* expected, int& wrong) {
    for (int i = 0; i < 2000; ++i) {
      if (std::string(shared.Translate(caption)) != expected) ++wrong;
    }
  };
  int wrongReady = 0;
  int wrongExit = 0;
  std::thread other([&] { lookUp("Ready", "Bereit", wrongReady); });
  lookUp("Exit", "Beenden", wrongExit);
  other.join();
  EXPECT_EQ(wrongReady, 0);
  EXPECT_EQ(wrongExit, 0);
}

TEST(StringTable, KeysNumbersAndDefaults) {
  std::set<uint32_t> ids;
  uint32_t keyed = 0;
  for (const StringResource& entry : StringTable()) {
    EXPECT_TRUE(ids.insert(entry.id).second) << entry.id;
    EXPECT_STRNE(entry.text, "");
    if (entry.key != nullptr) ++keyed;
  }
  EXPECT_EQ(keyed, 29u);
  EXPECT_STREQ(LoadStringResource(kAboutMenuResource), "&About Kiln...");
  EXPECT_STREQ(LoadStringResource(1), "Can't find Kiln.ini!");
  EXPECT_STREQ(LoadStringResource(23), "Waiting to write formal FW code...");
  EXPECT_STREQ(LoadStringResource(102),
               "The firmware on device is newer than this version, you can not downgrade the "
               "firmware.");
  EXPECT_STREQ(LoadStringResource(105), "This program will exit now.");
  EXPECT_STREQ(LoadStringResource(106), "Cause:");
  EXPECT_STREQ(keys::kPrinterUnreachable.key, "PrinterUnreachable");
  EXPECT_STREQ(LoadStringResource(24), "");
  EXPECT_STREQ(LoadStringResource(0), "");
  EXPECT_EQ(keys::kSendFwDataDone2.resource, 104u);
  EXPECT_STREQ(keys::kWriteFlashCpuFail2.key, "WriteFlashCpuFail2");
}

}  // namespace
}  // namespace kiln::i18n
