// The Make BIN dialog, and screenshots of the three maintenance dialogs.
#include "tools/make_bin_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "modal_script.h"
#include "support/temp_dir.h"
#include "tools/advanced_setting_dialog.h"
#include "tools/setting_dialog.h"
#include "tools/table_file.h"
#include "tools/table_file_list.h"

namespace kiln::tools {
namespace {

using kiln::testing::ModalScript;
using kiln::testing::TempDir;

TEST(MakeBinDialogTest, BrowseFollowsTheLastFolderAndCombineReportsItsResult) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("in"));
  const QString cvd = QString::fromStdString(dir.Write("in/cvd.dat", "cvd"));
  const QString heating = QString::fromStdString(dir.Write("heat.bin", "heat"));
  const QString colour = QString::fromStdString(dir.Write("colour.dat", "colour"));
  const QString output = QString::fromStdString(dir.File("out.bin"));
  MakeBinDialog dialog(QString::fromStdString(dir.path().string()));
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Make BIN:"));

  QString message;
  {
    ModalScript script;
    script.ExpectFileChoice(cvd);
    dialog.OnBrowse(0);
    EXPECT_EQ(dialog.pathBox(0)->text(), cvd);
    EXPECT_EQ(dialog.lastFolder(), QString::fromStdString(dir.File("in")));

    dialog.pathBox(1)->setText(heating);
    dialog.pathBox(2)->setText(colour);
    dialog.pathBox(3)->setText(output);
    script.ExpectMessage(&message);
    dialog.OnCombine();
  }
  EXPECT_EQ(message, QStringLiteral("Make BIN file:|Combine OK!"));
  EXPECT_EQ(std::filesystem::file_size(dir.File("out.bin")), kTableFileSize);
  EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open for the next file";
}

TEST(MakeBinDialogTest, OutputPickNamesANewFileAndAsksBeforeReplacingOne) {
  TempDir dir;
  const QString existing = QString::fromStdString(dir.Write("old.bin", "old"));
  const QString fresh = QString::fromStdString(dir.File("new.bin"));
  MakeBinDialog dialog(QString::fromStdString(dir.path().string()));
  dialog.show();
  QString question;
  {
    ModalScript script;
    script.ExpectFileChoice(fresh);
    dialog.OnBrowse(3);
    EXPECT_EQ(dialog.pathBox(3)->text(), fresh);

    // The question comes inside the file dialog's own OK: answered from a timer of its own.
    script.Expect([&](QWidget* window) {
      auto* files = qobject_cast<QFileDialog*>(window);
      ASSERT_NE(files, nullptr);
      files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(existing);
      QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        question = box->text();
        box->button(QMessageBox::Yes)->click();
      });
      QMetaObject::invokeMethod(files, "accept");
    });
    dialog.OnBrowse(3);
  }
  EXPECT_EQ(dialog.pathBox(3)->text(), existing);
  EXPECT_FALSE(question.isEmpty());
  EXPECT_EQ(TempDir::Read(dir.File("old.bin")), "old") << "picking writes nothing";
}

// Writes each dialog's picture into the build folder, to be looked at.
TEST(DialogScreenshots, SettingInBothLayoutsAndAdvancedSettings) {
  TempDir dir;
  dir.Write("Kiln.ini",
            "[FW_INFO1]\nModel=M07\nFile=fw07.bin\nWriteType=1\nEnableTableSwitch=1\n"
            "TableFile1=vivid.bin,Vivid colours\nTableFile2=soft.bin,Soft skin tones\n");
  const QString folder = QString::fromStdString(dir.path().string());
  const QString ini = QString::fromStdString(dir.File("Kiln.ini"));
  const QString out = QStringLiteral(KILN_SCREENSHOT_DIR "/");
  ASSERT_TRUE(QDir().mkpath(out));

  SettingDialog setting(1, folder, ini);
  setting.show();
  EXPECT_TRUE(setting.grab().save(out + QStringLiteral("setting_file_layout.png")));
  setting.findChild<QComboBox*>(QStringLiteral("id1007"))->setCurrentIndex(21);
  setting.tableList()->EditCell(1, TableFileList::kDescriptionColumn);
  EXPECT_TRUE(setting.grab().save(out + QStringLiteral("setting_code_layout.png")));

  AdvancedSettingDialog advanced(1, folder, ini);
  advanced.show();
  EXPECT_TRUE(advanced.grab().save(out + QStringLiteral("advanced_settings.png")));
  MakeBinDialog makeBin(folder);
  makeBin.show();
  EXPECT_TRUE(makeBin.grab().save(out + QStringLiteral("make_bin.png")));
}

}  // namespace
}  // namespace kiln::tools
