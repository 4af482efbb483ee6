// The interactive program as a person uses it, on the printers of a kiln-testbed run
// (see CMakeLists.txt): the real window with the real printer, device and driver
// services, driven by clicks. Checks what the person sees.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "app/gui/interactive_mode.h"
#include "app/gui/main_window.h"
#include "config/firmware_package.h"
#include "sim/printer_config.h"
#include "support/lock_folder.h"
#include "support/program_folder_builder.h"
#include "support/temp_dir.h"

namespace kiln::app {
namespace {

constexpr int kTickMs = 10;
constexpr int kLimitMs = 60000;

// A person in front of the window: looks at it every few milliseconds and acts through
// step, which returns true once the person is done with the window.
class Person {
 public:
  explicit Person(std::function<bool(MainWindow&)> step) : step_(std::move(step)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
    timer_.start(kTickMs);
  }
  std::vector<std::string> statuses;  // every status text seen, in order, once each

 private:
  void Look() {
    MainWindow* window = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* found = qobject_cast<MainWindow*>(widget)) window = found;
    }
    if (window == nullptr || !window->isVisible()) return;
    const std::string status = window->findChild<QLabel*>("1001")->text().toStdString();
    if (statuses.empty() || statuses.back() != status) statuses.push_back(status);
    waitedMs_ += kTickMs;
    // The person keeps looking after the last press, so a window that ignores it fails
    // here instead of hanging the test.
    if (waitedMs_ > kLimitMs) {
      ADD_FAILURE() << "gave up waiting; last status: " << status;
      window->done(0);
    } else if (!done_) {
      done_ = step_(*window);
    }
  }

  std::function<bool(MainWindow&)> step_;
  QTimer timer_;
  int waitedMs_ = 0;
  bool done_ = false;
};

std::string Text(MainWindow& window, const char* id) {
  return window.findChild<QLabel*>(id)->text().toStdString();
}
QPushButton* Button(MainWindow& window, const char* id) {
  return window.findChild<QPushButton*>(id);
}
bool Press(QPushButton* button) {
  if (!button->isVisible() || !button->isEnabled()) return false;
  QTest::mouseClick(button, Qt::LeftButton);
  return true;
}

const char* kReady = "Ready to work. Press START to go!";

class EndToEnd : public ::testing::Test {
 protected:
  EndToEnd() { program_.programFolder = dir_.path().string(); }

  testing::TempDir dir_;
  testing::ProgramFolderBuilder folder_{dir_};
  testing::LockFolderScope locks_;
  AppSession session_;
  StartedProgram program_;
};

TEST_F(EndToEnd, SmallModelUpdatedAndItsNewVersionShown) {
  folder_.Entry(1, {"Model=M07", "File=fw7.bin", "NoCheckDriver=1", "ActInfo=1", "Delay2=4"})
      .Package("fw7.bin", 7, "2.00", {.size = 0x30000});
  bool started = false;
  std::string versionBefore;
  Person person([&](MainWindow& window) {
    if (!started) {
      if (Text(window, "1001").starts_with(kReady)) {
        versionBefore = Text(window, "1005");
        started = Press(Button(window, "1"));
      }
      return false;
    }
    if (Text(window, "1001") == "Write firmware done!" && Text(window, "1005") == "2.00") {
      return Press(Button(window, "2"));
    }
    return false;
  });
  RunMainWindow(session_, program_);

  EXPECT_EQ(versionBefore, "1.05");
  const auto& seen = person.statuses;
  const auto countdown = std::find(seen.begin(), seen.end(), "Burning flash.....7");
  ASSERT_NE(countdown, seen.end()) << "the count-down of 4 + 3 seconds was shown";
  EXPECT_EQ(countdown[1], "Burning flash.....6");
  EXPECT_EQ(seen.back(), "Write firmware done!");
}

TEST_F(EndToEnd, LargeModelShowsTheNoticeAndTheProgramEnds) {
  folder_
      .Entry(1, {"Model=M25", "CodeName=code.bin", "TableName=table.bin", "FwName=fw25.bin",
                 "NoCheckDriver=1"})
      .File("code.bin", std::string(0x100, 'c'))
      .File("table.bin", std::string(0x80, 't'))
      .Package("fw25.bin", 25, "2.00", {.size = 0x30000});
  bool started = false;
  std::string notice;
  Person person([&](MainWindow& window) {
    if (!started) {
      if (Text(window, "1001").starts_with(kReady)) started = Press(Button(window, "1"));
      return false;
    }
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box->windowTitle() != "Notice") return false;
    notice = box->text().toStdString();
    box->button(QMessageBox::Ok)->click();
    return true;  // nothing more to press: the program ends by itself
  });
  RunMainWindow(session_, program_);

  EXPECT_EQ(notice,
            "The firmware data is sent to printer.\nPlease wait until the printer doing "
            "reset.\n\nThis program will exit now.");
  EXPECT_EQ(person.statuses.back(), "Write firmware done!");
}

}  // namespace
}  // namespace kiln::app
