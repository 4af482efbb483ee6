// The Advance Settings dialog: shown values, delay checks, and exactly the keys OK writes.
#include "tools/advanced_setting_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "entry_dialog_fixture.h"
#include "modal_script.h"
#include "support/temp_dir.h"

namespace kiln::tools {
namespace {

using kiln::testing::ModalScript;
using kiln::testing::TempDir;

class AdvancedDialogTest : public kiln::testing::EntryDialogFixture<AdvancedSettingDialog> {
 protected:
  AdvancedSettingDialog& Open(std::string_view ini) {
    WriteIni(ini);
    return EntryDialogFixture::Open();
  }
};

TEST_F(AdvancedDialogTest, AbsentDelaysShowTheUpdateDefaultsAndOkWritesOnlyItsKeys) {
  AdvancedSettingDialog& dialog = Open(
      "[FW_INFO1]\nModel=M07\nCpu1st=2\nActInfo=1\nCpuFile=cpu.bin\nCpuTable=keep.bin\n"
      "Other=x\n[FW_INFO2]\nDelay1=3\n");
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Advance Settings:"));
  EXPECT_EQ(Find<QLineEdit>(1025)->text(), QStringLiteral("20"));
  EXPECT_EQ(Find<QLineEdit>(1027)->text(), QStringLiteral("25"));
  EXPECT_FALSE(Find<QCheckBox>(1021)->isChecked()) << "a flag is on only when it is 1";
  EXPECT_TRUE(Find<QCheckBox>(1023)->isChecked());
  EXPECT_FALSE(Find<QLineEdit>(1020)->isEnabled());
  EXPECT_EQ(Find<QLabel>(1010)->text(), QStringLiteral("File name:"));
  EXPECT_FALSE(Shown(1030) || Shown(1034));

  Press(1);
  ASSERT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Contents(),
            "[FW_INFO1]\nModel=M07\nCpu1st=0\nActInfo=1\nCpuFile=cpu.bin\nCpuTable=keep.bin\n"
            "Other=x\nNoCheckPid=0\nNoCheckDriver=0\nNoWaitBusyBeforeWriteFW=0\n"
            "NotCheckBusyAtStartup=0\nDelay1=20\nDelay2=25\n[FW_INFO2]\nDelay1=3\n");
}

TEST_F(AdvancedDialogTest, DelaysOutsideTheRangeAreRefusedAndNothingIsWritten) {
  const std::string original = "[FW_INFO1]\nModel=M07\nDelay1=5\nDelay2=6\n";
  Open(original);
  QString message;
  Find<QLineEdit>(1027)->setText(QStringLiteral("1500"));
  {
    ModalScript script;
    script.ExpectMessage(&message);
    Press(1);
    script.Drain();
  }
  EXPECT_TRUE(message.endsWith(QStringLiteral("|Please enter an integer between 0 and 1000.")))
      << message.toStdString();
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(Contents(), original);

  EXPECT_EQ(dialog_->focusWidget(), Find<QLineEdit>(1027)) << "the refused box";
}

TEST_F(AdvancedDialogTest, SpinArrowsStopAtTheRangeEnds) {
  Open("[FW_INFO1]\nDelay1=999\nDelay2=1\n");
  QWidget* cpuSpin = Find<QWidget>(1026);
  QWidget* firmwareSpin = Find<QWidget>(1028);
  for (int i = 0; i < 3; ++i) cpuSpin->findChild<QToolButton*>(QStringLiteral("up"))->click();
  EXPECT_EQ(Find<QLineEdit>(1025)->text(), QStringLiteral("1000"));
  for (int i = 0; i < 3; ++i)
    firmwareSpin->findChild<QToolButton*>(QStringLiteral("down"))->click();
  EXPECT_EQ(Find<QLineEdit>(1027)->text(), QStringLiteral("0"));
  QTest::keyClick(Find<QLineEdit>(1027), Qt::Key_Up);
  EXPECT_EQ(Find<QLineEdit>(1027)->text(), QStringLiteral("1"));
}

TEST_F(AdvancedDialogTest, LargeModelInTheOlderSectionKeepsItsCpuFilesThere) {
  const std::string original =
      "[FW_INFO1]\n[FW_INFO]\nModel=OEE\nCpu1st=0\nCpuFile=c.bin\nCpuTable=t.bin\nCpuFwCode=f."
      "bin\n";
  AdvancedSettingDialog& dialog = Open(original);
  EXPECT_EQ(dialog.sectionName(), "FW_INFO");
  EXPECT_EQ(Find<QLabel>(1010)->text(), QStringLiteral("Code name:"));
  EXPECT_TRUE(Shown(1030) && Shown(1034));
  EXPECT_EQ(Find<QLineEdit>(1034)->text(), QStringLiteral("f.bin"));
  EXPECT_FALSE(Find<QLineEdit>(1034)->isEnabled());

  Find<QCheckBox>(1050)->click();
  Press(2);
  EXPECT_EQ(Contents(), original) << "Cancel writes nothing";

  Open(original);
  Find<QCheckBox>(1021)->click();
  EXPECT_TRUE(Find<QLineEdit>(1034)->isEnabled());
  Press(1);
  EXPECT_EQ(Contents(),
            "[FW_INFO1]\n[FW_INFO]\nModel=OEE\nCpu1st=1\nCpuFile=c.bin\nCpuTable=t.bin\n"
            "CpuFwCode=f.bin\nActInfo=0\nNoCheckPid=0\nNoCheckDriver=0\n"
            "NoWaitBusyBeforeWriteFW=0\nNotCheckBusyAtStartup=0\nDelay1=20\nDelay2=25\n");
}

}  // namespace
}  // namespace kiln::tools
