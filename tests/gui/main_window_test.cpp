// The main window's widgets on the offscreen platform: the corner gestures, the
// notifications that arrive from the worker's thread, and screenshots.
#include "app/gui/main_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <thread>

#include "modal_closer.h"
#include "support/fake_language_probes.h"
#include "support/window_rig.h"

namespace kiln::app {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    rig_.Ini("[FW_INFO1]\nModel=M07\nFile=fw7.bin\n");
    rig_.Package("fw7.bin", 7, "1.06");
    WindowServices services;
    services.installedPrinters = &rig_.installed;
    services.links = rig_.printers.Links();
    services.clock = &rig_.printers.clock;
    window_ = std::make_unique<MainWindow>(rig_.session, services);
  }
  // Initialises the window; with settle, waits until its evaluation has been shown.
  void Initialise(bool settle = true) {
    ASSERT_TRUE(window_->Initialise(rig_.dir.path().string()));
    if (settle) Settle();
  }
  void Settle() { QTRY_VERIFY_WITH_TIMEOUT(!window_->controller().Evaluating(), 10000); }
  std::string Text(const char* id) const {
    return window_->findChild<QLabel*>(id)->text().toStdString();
  }
  // A click at window pixel (x, y) lands on the control there, as a person's would.
  void Click(int x, int y, Qt::KeyboardModifiers keys) {
    QWidget* target = window_->childAt(x, y);
    if (target == nullptr) target = window_.get();
    QTest::mouseClick(target, Qt::LeftButton, keys, target->mapFrom(window_.get(), QPoint(x, y)));
  }
  // Calls into the window from a thread of its own, as the worker does, serving the
  // window's thread until the call has returned.
  void FromWorkerThread(const std::function<void()>& call) {
    std::atomic<bool> returned = false;
    std::thread worker([&] {
      call();
      returned = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(returned, 5000);
    worker.join();
  }

  testing::WindowRig rig_;
  std::unique_ptr<MainWindow> window_;
};

const char* kReady =
    "Ready to work. Press START to go!\n\nNotice! Don't plug out USB until finish updating "
    "firmware.";

TEST_F(MainWindowTest, CornerGesturesOpenTheirDialogsAndOkReevaluates) {
  Initialise();
  ASSERT_TRUE(Text("1001").starts_with("Printer is not connected!"));
  int advancedEntry = 0;
  int settings = 0;
  window_->SetMaintenanceDialogs({[&](int entry) {
                                    advancedEntry = entry;
                                    return false;  // Cancel
                                  },
                                  [&] {
                                    ++settings;
                                    return true;
                                  }});
  rig_.Printer(7);

  Click(13, 5, Qt::ControlModifier | Qt::ShiftModifier);
  Click(5, 11, Qt::ControlModifier);
  Click(5, 5, Qt::ShiftModifier);
  EXPECT_EQ(advancedEntry, 0);
  EXPECT_EQ(settings, 0);

  Click(12, 10, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(advancedEntry, 1);
  EXPECT_EQ(settings, 0);
  EXPECT_TRUE(Text("1001").starts_with("Printer is not connected!")) << "Cancel evaluates nothing";

  Click(0, 10, Qt::ControlModifier);  // (0, 0) would be taken as the window's centre
  EXPECT_EQ(settings, 1);
  Settle();
  EXPECT_EQ(Text("1001"), kReady);
  EXPECT_TRUE(window_->findChild<QPushButton*>("1")->isEnabled());
}

TEST_F(MainWindowTest, CountdownFromTheWorkerThread) {
  Initialise();
  FromWorkerThread([&] { window_->controller().OnDownloadNotification(1, 7); });
  EXPECT_EQ(Text("1001"), "Burning flash.....7");
}

TEST_F(MainWindowTest, PrinterErrorInAnErrorBox) {
  Initialise();
  std::string caption, text;
  testing::OnNextModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    caption = box->windowTitle().toStdString();
    text = box->text().toStdString();
    box->button(QMessageBox::Ok)->click();
  });
  FromWorkerThread([&] { window_->controller().OnDownloadNotification(2, 0x00030001); });
  EXPECT_EQ(caption, "Error");
  EXPECT_EQ(text, "SRAM error!");
  EXPECT_EQ(Text("1001"), "SRAM error!");
}

TEST_F(MainWindowTest, WindowGoesOnlyAfterTheUpdateEnded) {
  sim::VirtualPrinter& printer = rig_.Printer(7, "1.05");
  Initialise();
  window_->show();
  QTest::mouseClick(window_->findChild<QPushButton*>("1"), Qt::LeftButton);
  ASSERT_TRUE(window_->controller().WorkerRunning());
  window_->close();  // refused while the update runs
  EXPECT_TRUE(window_->isVisible());
  window_.reset();  // waits for the worker, serving it meanwhile
  ASSERT_EQ(printer.Images().size(), 1u);
  EXPECT_EQ(printer.Version(), "1.06");
}

TEST_F(MainWindowTest, PrinterAndIniTextsAreShownAsPlainText) {
  rig_.Printer(7, "<u>1.0");
  Initialise();
  EXPECT_EQ(Text("1005"), "<u>1.0");
  FromWorkerThread([&] { window_->controller().OnWarning("<b>queue</b>"); });
  EXPECT_TRUE(Text("1001").ends_with("\n<b>queue</b>")) << Text("1001");
  for (const char* id : {"1001", "1003", "1004", "1005"}) {
    EXPECT_EQ(window_->findChild<QLabel*>(id)->textFormat(), Qt::PlainText) << id;
  }
}

// A printer busy for ever: the colour-mode query waits its 30 s (a second of real time
// here) off the window's thread, while the window paints, keeps its status and closes.
TEST_F(MainWindowTest, WindowPaintsAndClosesWhileABusyPrinterIsAsked) {
  sim::VirtualPrinterConfig config;
  config.model = 7;
  config.faults.busyForever = true;
  sim::VirtualPrinter& printer = rig_.printers.Add(config);
  rig_.printers.clock.SetRealPauseMs(20);
  window_->show();
  Initialise(false);
  QTRY_VERIFY_WITH_TIMEOUT(printer.Transcript().size() >= 6, 10000);  // status polls
  ASSERT_TRUE(window_->controller().Evaluating());
  EXPECT_EQ(Text("1001"), "") << "the status it had";
  const QImage picture = window_->grab().toImage();
  EXPECT_EQ(picture.pixelColor(2, 2), window_->palette().color(QPalette::Window));
  ASSERT_TRUE(QDir().mkpath(KILN_SCREENSHOT_DIR));
  EXPECT_TRUE(picture.save(KILN_SCREENSHOT_DIR "/main_window_while_probing.png"));

  QTest::mouseClick(window_->findChild<QPushButton*>("2"), Qt::LeftButton);
  EXPECT_FALSE(window_->isVisible());
  const std::size_t packets = printer.Transcript().size();
  window_.reset();  // waits for the evaluation, which asks nothing after its transfer
  EXPECT_LE(printer.Transcript().size(), packets + 1);
}

TEST_F(MainWindowTest, F1OpensAbout) {
  Initialise();
  std::string caption;
  testing::OnNextModal([&](QWidget* modal) {
    caption = modal->windowTitle().toStdString();
    modal->close();
  });
  QTest::keyClick(window_.get(), Qt::Key_F1);
  EXPECT_EQ(caption, "About Kiln");
}

TEST_F(MainWindowTest, ScreenshotsWithEveryControlInside) {
  rig_.Printer(7, "1.05");
  Initialise();
  window_->show();
  ASSERT_EQ(Text("1001"), kReady);
  const QRect client = window_->rect();
  for (const QWidget* child : window_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    EXPECT_TRUE(client.contains(child->geometry())) << child->objectName().toStdString();
  }
  ASSERT_TRUE(QDir().mkpath(KILN_SCREENSHOT_DIR));
  EXPECT_TRUE(window_->grab().save(KILN_SCREENSHOT_DIR "/main_window_ready.png"));

  // As the window looks while the worker runs.
  window_->EnableStart(false);
  window_->EnableExit(false);
  window_->PlayAnimation(true);
  window_->ShowStatus(CountdownText(37).c_str());
  QTest::qWait(200);
  EXPECT_TRUE(window_->grab().save(KILN_SCREENSHOT_DIR "/main_window_countdown.png"));
  window_->PlayAnimation(false);
}

// Runs an update that the printer fails: it stays on its old version after programming.
// What the download says of the printer RunFailedUpdate leaves at its old version.
constexpr const char* kFailedUpdateCause =
    "Printer 1 reports version 1.05 after programming, not 1.06.";

void RunFailedUpdate(testing::WindowRig& rig, MainWindow& window) {
  sim::VirtualPrinterConfig config;
  config.model = 7;
  config.version = "1.05";
  config.faults.errorAfterProgramming = sim::AlertForDetail(0x0405, 0x50);
  rig.printers.Add(config);
  ASSERT_TRUE(window.Initialise(rig.dir.path().string()));
  window.show();
  QTRY_VERIFY_WITH_TIMEOUT(!window.controller().Evaluating(), 10000);
  QTest::mouseClick(window.findChild<QPushButton*>("1"), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!window.controller().WorkerRunning(), 20000);
}

// The status shows all its lines, its frame holds it and the window every control; the
// window's picture is saved as screenshot.
void ExpectNothingCut(MainWindow& window, const QString& screenshot) {
  const auto* status = window.findChild<QLabel*>("1001");
  EXPECT_GE(status->height(), status->heightForWidth(status->width()));
  const QRect client = window.rect();
  for (const QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    EXPECT_TRUE(client.contains(child->geometry())) << child->objectName().toStdString();
    if (child != status && child->geometry().intersects(status->geometry())) {
      EXPECT_TRUE(child->geometry().contains(status->geometry()))
          << child->objectName().toStdString() << " overlaps the status";
    }
  }
  ASSERT_TRUE(QDir().mkpath(KILN_SCREENSHOT_DIR));
  EXPECT_TRUE(window.grab().save(KILN_SCREENSHOT_DIR "/" + screenshot));
}

TEST_F(MainWindowTest, FailureShowsTheDownloadsAccountAsAThirdLine) {
  RunFailedUpdate(rig_, *window_);
  const std::string cause = kFailedUpdateCause;
  EXPECT_EQ(Text("1001"),
            "Write firmware fail!\n\nPlease restart the printer and then run this program "
            "again.\nCause: " +
                cause);
  ExpectNothingCut(*window_, "main_window_failure_cause.png");

  // A shorter status brings the template layout back.
  const int grown = window_->height();
  window_->ShowStatus("Ready");
  EXPECT_LT(window_->height(), grown);
}

TEST_F(MainWindowTest, LongGermanFailureStatusIsShownWhole) {
  testing::ScopedLanguageEnvironment environment;
  environment.Set("LC_ALL", "de_DE.UTF-8");
  rig_.Ini(
      "[FW_INFO1]\nModel=M07\nFile=fw7.bin\n[ger]\n"
      "WriteFlashFail1=Das Schreiben der Firmware ist fehlgeschlagen!\n"
      "WriteFlashFail2=Bitte schalten Sie den Drucker aus und wieder ein und starten Sie "
      "dieses Programm anschließend noch einmal.\n"
      "WriteFlashFailCause=Ursache (vom Drucker gemeldet):\n");
  RunFailedUpdate(rig_, *window_);
  const std::string cause = kFailedUpdateCause;
  EXPECT_EQ(rig_.session.languageTag.view(), "ger");
  EXPECT_EQ(Text("1001"),
            "Das Schreiben der Firmware ist fehlgeschlagen!\n\nBitte schalten Sie den Drucker "
            "aus und wieder ein und starten Sie dieses Programm anschließend noch einmal.\n"
            "Ursache (vom Drucker gemeldet): " +
                cause);
  ExpectNothingCut(*window_, "main_window_failure_german.png");
}

}  // namespace
}  // namespace kiln::app
