// Language texts on widgets: re-texting a window, the About box.
#include "app/gui/retext_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "app/gui/about_dialog.h"
#include "app/gui/kiln_resources.h"
#include "modal_closer.h"
#include "support/temp_dir.h"

namespace kiln::app {
namespace {

class Retext : public ::testing::Test {
 protected:
  Retext() {
    ini_ = dir_.Write("Kiln.ini",
                      "[ger]\r\n"
                      "Change Color Mode=Farbmodus \xE4ndern\r\n"
                      "OK=Best\xE4tigen\r\n"
                      "Exit=Beenden\r\n"
                      "Vivid=Lebhaft\r\n"
                      "Standard=Normal\r\n"
                      "Item=Eintrag\r\n"
                      "&File=&Datei\r\n"
                      "[frn]\r\n"
                      "Exit=Quitter\r\n"
                      "[cht]\r\n"
                      "Change Color Mode=\xC5\xDC\xA7\xF3\xA6\xE2\xB1\x6D\xBC\xD2\xA6\xA1\r\n"
                      "OK=\xBD\x54\xA9\x77\r\n");
    language_.SetFile(ini_);

    window_.setWindowTitle("Change Color Mode");
    ok_ = new QPushButton("OK", &window_);
    cancel_ = new QPushButton("Cancel", &window_);
    label_ = new QLabel("Exit", &window_);
    combo_ = new QComboBox(&window_);
    combo_->addItem("Vivid", 5);
    combo_->addItem("Standard", -1);
    combo_->setCurrentIndex(1);
    list_ = new QListWidget(&window_);
    list_->addItem("Item");
    auto* bar = new QMenuBar(&window_);
    file_ = bar->addMenu("&File");
    exit_ = file_->addAction("Exit");
    sub_ = file_->addMenu("Standard");
    vivid_ = sub_->addAction("Vivid");
  }

  void RetextIn(const char* tag) {
    language_.SetSection(tag);
    RetextWindow(&window_, language_, tag);
  }

  testing::TempDir dir_;
  std::string ini_;
  i18n::LanguageFile language_;
  QDialog window_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QLabel* label_;
  QComboBox* combo_;
  QListWidget* list_;
  QMenu* file_;
  QAction* exit_;
  QMenu* sub_;
  QAction* vivid_;
};

TEST_F(Retext, GermanSectionReplacesTheCaptionsItHasKeysFor) {
  RetextIn("ger");
  EXPECT_EQ(window_.windowTitle(), QString::fromUtf8("Farbmodus ändern"));
  EXPECT_EQ(ok_->text(), QString::fromUtf8("Bestätigen"));
  EXPECT_EQ(cancel_->text(), "Cancel");
  EXPECT_EQ(label_->text(), "Beenden");

  // Combo items are re-texted one by one: their data stays, except -1; the selection too.
  ASSERT_EQ(combo_->count(), 2);
  EXPECT_EQ(combo_->itemText(0), "Lebhaft");
  EXPECT_EQ(combo_->itemData(0).toInt(), 5);
  EXPECT_EQ(combo_->itemText(1), "Normal");
  EXPECT_FALSE(combo_->itemData(1).isValid());
  EXPECT_EQ(combo_->currentIndex(), 1);
  // List widgets keep their items.
  EXPECT_EQ(list_->item(0)->text(), "Item");
  // Menus, submenus included.
  EXPECT_EQ(file_->title(), "&Datei");
  EXPECT_EQ(exit_->text(), "Beenden");
  EXPECT_EQ(sub_->title(), "Normal");
  EXPECT_EQ(vivid_->text(), "Lebhaft");
}

TEST_F(Retext, AnotherLanguageStartsFromTheEnglishTexts) {
  RetextIn("ger");
  RetextIn("frn");
  EXPECT_EQ(window_.windowTitle(), "Change Color Mode");
  EXPECT_EQ(ok_->text(), "OK") << "no OK key in frn: the English caption comes back";
  EXPECT_EQ(label_->text(), "Quitter");
  EXPECT_EQ(combo_->itemText(0), "Vivid");
  EXPECT_EQ(exit_->text(), "Quitter");

  // A text the program sets later is the key from then on.
  label_->setText("Vivid");
  RetextIn("ger");
  EXPECT_EQ(label_->text(), "Lebhaft");
}

TEST_F(Retext, Big5SectionShowsItsChineseTexts) {
  RetextIn("cht");
  EXPECT_EQ(window_.windowTitle(), QString::fromUtf8("變更色彩模式"));
  EXPECT_EQ(ok_->text(), QString::fromUtf8("確定"));
  EXPECT_EQ(cancel_->text(), "Cancel");
}

TEST_F(Retext, AboutBoxShowsNameBuildAndIconAndClosesWithOk) {
  language_.SetSection("ger");
  QString title;
  QStringList labels;
  bool hasIcon = false;
  kiln::testing::OnNextModal([&](QWidget* box) {
    title = box->windowTitle();
    for (QLabel* label : box->findChildren<QLabel*>()) {
      labels << label->text();
      hasIcon = hasIcon || !label->pixmap().isNull();
    }
    QDir().mkpath(KILN_SCREENSHOT_DIR);
    box->grab().save(KILN_SCREENSHOT_DIR "/about_dialog.png");
    box->findChild<QPushButton*>("1")->click();
  });
  ExecAboutDialog(nullptr, language_, "ger");
  EXPECT_EQ(title, "About Kiln");
  EXPECT_TRUE(labels.contains("Kiln v3.0.2  build 585"));
  EXPECT_TRUE(hasIcon);
}

TEST(Resources, AnimationRunsOnlyBetweenStartAndStop) {
  EXPECT_FALSE(KilnIcon().pixmap(32, 32).isNull());
  BurningAnimation animation;
  animation.resize(300, 50);
  animation.start();
  for (int i = 0; i < 100 && animation.frame() < 2; ++i) QTest::qWait(20);
  EXPECT_GE(animation.frame(), 2);
  QDir().mkpath(KILN_SCREENSHOT_DIR);
  animation.grab().save(KILN_SCREENSHOT_DIR "/burning_animation.png");
  KilnIcon().pixmap(64, 64).save(KILN_SCREENSHOT_DIR "/icon.png");
  animation.stop();
  const int stoppedAt = animation.frame();
  QTest::qWait(3 * BurningAnimation::kFrameMs);
  EXPECT_EQ(animation.frame(), stoppedAt);
}

}  // namespace
}  // namespace kiln::app
