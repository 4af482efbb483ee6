// The Change Color Mode dialog on a Kiln.ini with colour tables, and the whole change
// with a virtual printer answering the colour-mode query.
#include "app/gui/colour_mode_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "modal_closer.h"
#include "sim/virtual_printer.h"
#include "support/printer_builder.h"
#include "support/temp_dir.h"
#include "support/virtual_printer_rig.h"

namespace kiln::app {
namespace {

class ColourMode : public ::testing::Test {
 protected:
  ColourMode() {
    dir_.Write("Kiln.ini",
               "[FW_INFO1]\r\n"
               "TableFile1=a.tbl,Vivid\r\n"
               "TableFile2=b.tbl,Standard\r\n"
               "TableFile3=c.tbl,Natural\r\n"
               "TableFile5=e.tbl,Beyond the gap\r\n"
               "ColorModeDesc1=Bright colours\r\n"
               "ColorModeDesc2=True colours\r\n"
               "[ger]\r\n"
               "Vivid=Lebhaft\r\n"
               "Bright colours=Kr\xE4"
               "ftige Farben\r\n"
               "Cancel=Abbrechen\r\n");
    dir_.Write("a.tbl", "0123456789ABCDEF");
    dir_.Write("c.tbl", "short");
    dir_.Write("e.tbl", "0123456789ABCDEF");
    LocateConfig(session_, dir_.path().string());
    session_.languageTag = "eng";
  }

  static QStringList Rows(const ColourModeDialog& dialog) {
    QStringList rows;
    const auto* list = dialog.findChild<QComboBox*>("1037");
    for (int i = 0; i < list->count(); ++i) rows << list->itemText(i);
    return rows;
  }
  static QString Text(const QWidget* dialog, const char* id) {
    return dialog->findChild<QLabel*>(id)->text();
  }

  testing::TempDir dir_;
  AppSession session_;
  PrinterState printer_;  // the printer as the colour-mode query finds it
  testing::VirtualPrinterRig rig_;
};

TEST_F(ColourMode, ShowsTheLanguagesTextsAndSavesAScreenshot) {
  const ColourModeForm form(session_.folder, 1, 7, "N/A", "ger");
  ColourModeDialog dialog(form);
  EXPECT_EQ(Rows(dialog).value(0), "Lebhaft  (89ABCDE)");
  EXPECT_EQ(Text(&dialog, "1048"), QString::fromUtf8("Kräftige Farben"));
  EXPECT_EQ(dialog.findChild<QPushButton*>("2")->text(), "Abbrechen");

  dialog.show();
  QDir().mkpath(KILN_SCREENSHOT_DIR);
  EXPECT_TRUE(dialog.grab().save(KILN_SCREENSHOT_DIR "/colour_mode_dialog.png"));
}

// An entry kept in the older [FW_INFO] section is read from there, as the window does;
// texts from the printer and Kiln.ini are shown as they are, never as markup.
TEST_F(ColourMode, OlderSectionServesAndTextsAreShownAsPlainText) {
  dir_.Write("Kiln.ini",
             "[FW_INFO]\r\nModel=M07\r\nEnableTableSwitch=1\r\nTableFile1=a.tbl,<b>Vivid\r\n"
             "TableFile2=e.tbl,Soft\r\nColorModeDesc1=<u>Bright</u> colours\r\n");
  const ColourModeForm form(session_.folder, 1, 7, "<u>1.0", "eng");
  ColourModeDialog dialog(form);
  EXPECT_EQ(Rows(dialog), (QStringList{"<b>Vivid  (89ABCDE)", "Soft  (89ABCDE)"}));
  EXPECT_TRUE(dialog.findChild<QPushButton*>("1")->isEnabled());
  for (const char* id : {"1047", "1048"}) {
    EXPECT_EQ(dialog.findChild<QLabel*>(id)->textFormat(), Qt::PlainText) << id;
  }
  EXPECT_EQ(Text(&dialog, "1048"), "<u>Bright</u> colours");
  dialog.show();
  EXPECT_TRUE(dialog.grab().save(KILN_SCREENSHOT_DIR "/colour_mode_dialog_older_section.png"));

  PrinterQueries queries(printer_, nullptr, rig_.Links());
  kiln::testing::OnNextModal([&](QWidget* shown) {
    shown->findChild<QComboBox*>("1037")->setCurrentIndex(1);
    shown->findChild<QPushButton*>("1")->click();
  });
  EXPECT_TRUE(ChangeColourMode(session_, 1, 7, false, queries, ColourModeDialogOver(nullptr)));
  EXPECT_EQ(session_.colourTable, dir_.File("e.tbl"));
}

TEST_F(ColourMode, NoTablesLeaveOnlyCancel) {
  const ColourModeForm form(session_.folder, 2, 7, "N/A", "eng");
  ColourModeDialog dialog(form);
  EXPECT_FALSE(dialog.findChild<QComboBox*>("1037")->isEnabled());
  EXPECT_FALSE(dialog.findChild<QPushButton*>("1")->isEnabled());
  EXPECT_TRUE(dialog.findChild<QPushButton*>("2")->isEnabled());
}

TEST_F(ColourMode, OkRecordsTheChosenTableForTheNextUpdate) {
  rig_.Add(kiln::testing::PrinterBuilder(7).ColourMode("Standard"));
  PrinterQueries queries(printer_, nullptr, rig_.Links());

  QString shownMode;
  kiln::testing::OnNextModal([&](QWidget* dialog) {
    shownMode = Text(dialog, "1047");
    dialog->findChild<QComboBox*>("1037")->setCurrentIndex(1);
    dialog->findChild<QPushButton*>("1")->click();
  });
  EXPECT_TRUE(ChangeColourMode(session_, 1, 7, false, queries, ColourModeDialogOver(nullptr)));
  EXPECT_EQ(shownMode, "Standard");
  EXPECT_EQ(session_.colourTable, dir_.File("b.tbl"));
}

TEST_F(ColourMode, CancelLeavesTheEarlierChoice) {
  session_.colourTable = "/earlier/choice.tbl";
  PrinterQueries queries(printer_, nullptr, rig_.Links());  // no printer connected

  QString shownMode;
  kiln::testing::OnNextModal([&](QWidget* dialog) {
    shownMode = Text(dialog, "1047");
    dialog->findChild<QComboBox*>("1037")->setCurrentIndex(2);
    dialog->findChild<QPushButton*>("2")->click();
  });
  EXPECT_FALSE(ChangeColourMode(session_, 1, 7, false, queries, ColourModeDialogOver(nullptr)));
  EXPECT_EQ(shownMode, "N/A");
  EXPECT_EQ(session_.colourTable, "/earlier/choice.tbl");
}

}  // namespace
}  // namespace kiln::app
