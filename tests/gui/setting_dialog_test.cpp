// The Setting dialog against real Kiln.ini files: what it shows, and that OK writes
// exactly its keys (compared as whole files) while Cancel writes nothing.
#include "tools/setting_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>

#include "entry_dialog_fixture.h"
#include "modal_script.h"
#include "support/temp_dir.h"
#include "tools/cell_editor.h"
#include "tools/table_file_list.h"

namespace kiln::tools {
namespace {

using kiln::testing::ModalScript;
using kiln::testing::TempDir;

using SettingDialogTest = kiln::testing::EntryDialogFixture<SettingDialog>;

TEST_F(SettingDialogTest, FileLayoutOpensTheEntryAndOkWritesOnlyItsKeys) {
  dir_.Write("t1.bin", "table-data V1.2.3A\x5A");
  WriteIni(
      "[FW_INFO1]\r\nModel=m07\r\nFile=fw.bin\r\nWriteType=1\r\nTableFile1=t1.bin,One\r\n"
      "TableFile2=t2.bin,Two, with comma\r\nTableFile3=t3.bin,Three\r\nTableFile4=t4.bin,Four\r\n"
      "TableFile5=t5.bin,Five\r\nTableFile7=t7.bin,Seven\r\nEnableTableSwitch=1\r\n"
      "NotWaitBurnOK=1\r\nCpu1st=1\r\nDelay1=40\r\nOeeCodeName=oee.bin\r\n\r\n"
      "[FW_INFO2]\r\nModel=M09\r\n[eng]\r\nReady=Ready\r\n");
  SettingDialog& dialog = Open();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Kiln Setting:"));
  EXPECT_EQ(Find<QComboBox>(1007)->count(), 38);
  EXPECT_EQ(Find<QComboBox>(1007)->currentIndex(), 6);
  EXPECT_EQ(Find<QLabel>(1010)->text(), QStringLiteral("File name:"));
  EXPECT_EQ(Find<QLineEdit>(1011)->text(), QStringLiteral("fw.bin"));
  EXPECT_TRUE(Shown(1009));
  EXPECT_EQ(Find<QComboBox>(1009)->currentIndex(), 1);
  EXPECT_FALSE(Shown(1016) || Shown(1018) || Shown(1013));
  EXPECT_FALSE(Shown(1055)) << "only models 9 and 22 offer the second entry";
  EXPECT_TRUE(Find<QCheckBox>(1054)->isChecked());
  EXPECT_TRUE(Find<QPushButton>(1033)->isEnabled());

  TableFileList* list = dialog.tableList();
  ASSERT_EQ(list->rowCount(), 5) << "the list ends at the first missing number";
  EXPECT_EQ(list->CellText(0, 1), QStringLiteral("V1.2.3A"));
  EXPECT_EQ(list->CellText(1, 1), QString()) << "a missing table file has no version";
  EXPECT_EQ(list->CellText(1, 2), QStringLiteral("Two, with comma"));

  Press(1);
  EXPECT_TRUE(Accepted());
  EXPECT_EQ(Contents(),
            "[FW_INFO1]\r\nModel=M07\r\nFile=fw.bin\r\nWriteType=1\r\nEnableTableSwitch=1\r\n"
            "NotWaitBurnOK=1\r\nCpu1st=1\r\nDelay1=40\r\nOeeCodeName=oee.bin\r\n"
            "DisableOverwriteNewer=0\r\nSupportModel2=0\r\nTableFile1=t1.bin,One\r\n"
            "TableFile2=t2.bin,Two, with comma\r\nTableFile3=t3.bin,Three\r\n"
            "TableFile4=t4.bin,Four\r\nTableFile5=t5.bin,Five\r\n\r\n"
            "[FW_INFO2]\r\nModel=M09\r\n[eng]\r\nReady=Ready\r\n");
}

TEST_F(SettingDialogTest, CancelWritesNothing) {
  const std::string original = "[FW_INFO1]\nModel=M07\nFile=a.bin\nTableFile1=t.bin,T\n";
  WriteIni(original);
  Open();
  Find<QComboBox>(1007)->setCurrentIndex(20);
  Find<QCheckBox>(1049)->click();
  Press(2);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(Contents(), original);
}

TEST_F(SettingDialogTest, LargeModelsUseTheCodeLayoutAndKeepTheOldFileKey) {
  WriteIni(
      "[FW_INFO1]\nModel=M07\nFile=fw.bin\nWriteType=0\nEnableTableSwitch=0\n"
      "DisableOverwriteNewer=0\nNotWaitBurnOK=0\nSupportModel2=0\n");
  Open();
  Find<QComboBox>(1007)->setCurrentIndex(18);  // serial number 19
  EXPECT_EQ(Find<QLabel>(1010)->text(), QStringLiteral("Code name:"));
  EXPECT_TRUE(Shown(1016) && Shown(1018) && Shown(1017));
  EXPECT_FALSE(Shown(1009));
  Find<QLineEdit>(1016)->setText(QStringLiteral("tab.bin"));
  Find<QLineEdit>(1018)->setText(QStringLiteral("code.bin"));
  Press(1);
  ASSERT_TRUE(Accepted());
  EXPECT_EQ(Contents(),
            "[FW_INFO1]\nModel=OEE\nFile=fw.bin\nWriteType=0\nEnableTableSwitch=0\n"
            "DisableOverwriteNewer=0\nNotWaitBurnOK=0\nSupportModel2=0\n"
            "CodeName=fw.bin\nTableName=tab.bin\nFwName=code.bin\n");

  Open();
  EXPECT_EQ(Find<QLabel>(1010)->text(), QStringLiteral("Code name:"));
  EXPECT_EQ(Find<QLineEdit>(1018)->text(), QStringLiteral("code.bin"));
}

TEST_F(SettingDialogTest, SecondEntryHasItsOwnTitleSectionAndNoModelTwoBox) {
  const std::string entry1 = "[FW_INFO1]\nModel=Orvix M22\nSupportModel2=1\n";
  WriteIni(entry1 + "[FW_INFO2]\nModel=M09\nFile=b.bin\n");
  Open(1);
  EXPECT_TRUE(Shown(1055));
  EXPECT_TRUE(Find<QCheckBox>(1055)->isChecked());
  QString nestedTitle;
  {
    ModalScript script;
    Find<QCheckBox>(1055)->click();  // cleared: opens nothing
    script.Expect([&](QWidget* window) { nestedTitle = window->windowTitle(); });
    Find<QCheckBox>(1055)->click();  // set: the second entry's own dialog
  }
  EXPECT_EQ(nestedTitle, QStringLiteral("Kiln Setting for model 2:"));
  Open(2);
  EXPECT_EQ(dialog_->windowTitle(), QStringLiteral("Kiln Setting for model 2:"));
  EXPECT_FALSE(Shown(1055));
  Press(1);
  ASSERT_TRUE(Accepted());
  EXPECT_EQ(Contents(), entry1 +
                            "[FW_INFO2]\nModel=M09\nFile=b.bin\nWriteType=0\nEnableTableSwitch=0\n"
                            "DisableOverwriteNewer=0\nNotWaitBurnOK=0\n");
}

TEST_F(SettingDialogTest, OlderSectionAndUnknownModelAreKeptAsTheyAre) {
  const std::string original =
      "[FW_INFO]\nModel=X99\nFile=a.bin\nWriteType=7\nEnableTableSwitch=0\n"
      "DisableOverwriteNewer=0\nNotWaitBurnOK=0\nSupportModel2=0\n";
  WriteIni(original);
  SettingDialog& dialog = Open();
  EXPECT_EQ(dialog.sectionName(), "FW_INFO");
  EXPECT_EQ(Find<QComboBox>(1007)->currentIndex(), -1);
  EXPECT_EQ(Find<QComboBox>(1009)->currentIndex(), -1);
  EXPECT_EQ(Find<QLineEdit>(1011)->text(), QStringLiteral("a.bin"));
  Press(1);
  ASSERT_TRUE(Accepted());
  EXPECT_EQ(Contents(), original) << "no [FW_INFO1] that would hide the working section";
}

TEST_F(SettingDialogTest, ListHoldsAtMostAHundredRowsAndEveryNumberIsRewritten) {
  std::string ini = "[FW_INFO1]\nModel=M07\nEnableTableSwitch=1\n";
  for (int n = 1; n <= 100; ++n)
    ini += "TableFile" + std::to_string(n) + "=f" + std::to_string(n) + ".bin,D\n";
  WriteIni(ini);
  SettingDialog& dialog = Open();
  TableFileList* list = dialog.tableList();
  ASSERT_EQ(list->rowCount(), 100);
  EXPECT_FALSE(Find<QPushButton>(1033)->isEnabled());
  list->selectRow(99);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_EQ(list->rowCount(), 99);
  EXPECT_TRUE(Find<QPushButton>(1033)->isEnabled());
  Press(1);
  ASSERT_TRUE(Accepted());
  EXPECT_EQ(Contents().find("TableFile100"), std::string::npos);
  EXPECT_NE(Contents().find("TableFile99=f99.bin,D\n"), std::string::npos);
}

// A chosen table file joins the list with its version; a refused one is explained.
TEST_F(SettingDialogTest, AddTableFileTakesFilesOfTheProgramFolderOnly) {
  dir_.Write("vivid.bin", std::string(20, 'x') + "VIV0001\x01");
  std::filesystem::create_directory(dir_.File("other"));
  dir_.Write("other/far.bin", "x");
  WriteIni("[FW_INFO1]\nModel=M07\nEnableTableSwitch=1\n");
  SettingDialog& dialog = Open();
  QString wrongFolder;
  {
    ModalScript script;
    script.ExpectFileChoice(Path("vivid.bin"));
    dialog.OnAddTableFile();
    script.ExpectFileChoice(Path("other/far.bin"));
    script.ExpectMessage(&wrongFolder);
    dialog.OnAddTableFile();
  }
  TableFileList* list = dialog.tableList();
  ASSERT_EQ(list->rowCount(), 1);
  EXPECT_EQ(list->CellText(0, 0), QStringLiteral("vivid.bin"));
  EXPECT_EQ(list->CellText(0, 1), QStringLiteral("VIV0001"));
  EXPECT_EQ(list->CellText(0, 2), QStringLiteral("Click me to edit description"));
  EXPECT_TRUE(wrongFolder.contains(QStringLiteral("program folder"))) << wrongFolder.toStdString();

  QString comma;
  list->SetCell(0, TableFileList::kFileNameColumn, QStringLiteral("viv,id.bin"));
  {
    ModalScript script;
    script.ExpectMessage(&comma);
    Press(1);
    script.Drain();
  }
  EXPECT_TRUE(comma.contains(QStringLiteral("row 1 has a comma"))) << comma.toStdString();
  ASSERT_TRUE(dialog.isVisible());
  list->SetCell(0, TableFileList::kFileNameColumn, QStringLiteral("vivid.bin"));

  // An editor still open when OK is pressed gives its text to the list first.
  list->EditCell(0, TableFileList::kDescriptionColumn);
  QTest::keyClicks(list->openEditor(), QStringLiteral("Vivid"));
  Press(1);
  ASSERT_TRUE(Accepted());
  EXPECT_NE(Contents().find("TableFile1=vivid.bin,Vivid\n"), std::string::npos) << Contents();
}

// The list's edits and deletions reach what OK writes: a deleted row takes its own
// colour-mode description with it, and a typed file name goes on one line.
TEST_F(SettingDialogTest, ListEditsAndDeletionsReachTheWrite) {
  WriteIni(
      "[FW_INFO1]\nModel=M07\nFile=fw.bin\nEnableTableSwitch=1\nTableFile1=t1.bin,One\n"
      "TableFile2=t2.bin,Two\nColorModeDesc1=first\nColorModeDesc2=second\n");
  SettingDialog& dialog = Open();
  TableFileList* list = dialog.tableList();
  ASSERT_EQ(list->rowCount(), 2);
  list->selectRow(0);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Delete);
  list->SetCell(0, TableFileList::kDescriptionColumn, QStringLiteral("Vivid"));
  Find<QLineEdit>(1011)->setText(QStringLiteral("fw\r\n.bin"));
  Press(1);
  ASSERT_TRUE(Accepted());
  EXPECT_EQ(Contents(),
            "[FW_INFO1]\nModel=M07\nFile=fw .bin\nEnableTableSwitch=1\n"
            "ColorModeDesc1=second\nWriteType=0\nDisableOverwriteNewer=0\nNotWaitBurnOK="
            "0\nSupportModel2=0\nTableFile1=t2.bin,Vivid\n");
}

TEST_F(SettingDialogTest, FailedSaveIsReportedOnceAndKeepsTheDialogOpen) {
  const std::string original = "[FW_INFO1]\nModel=M07\nTableFile1=t.bin,T\n";
  WriteIni(original);
  Open();
  ASSERT_EQ(::chmod(dir_.File("Kiln.ini").c_str(), 0444), 0);
  QString message;
  {
    ModalScript script;
    script.ExpectMessage(&message);
    Press(1);
    script.Drain();
  }
  EXPECT_TRUE(message.contains(QStringLiteral("could not be saved"))) << message.toStdString();
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(dialog_->tableList()->rowCount(), 1);
  EXPECT_EQ(Contents(), original);
}

}  // namespace
}  // namespace kiln::tools
