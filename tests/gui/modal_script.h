#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>

namespace kiln::testing {

// Answers the modal windows (message boxes, file dialogs) that the code under test opens,
// in the order expected. A modal window nobody expected is closed and fails the test;
// so does an expected one that never came. The test therefore never hangs.
class ModalScript {
 public:
  using Handler = std::function<void(QWidget*)>;

  ModalScript() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
  }
  ~ModalScript() {
    timer_.stop();
    EXPECT_TRUE(pending_.empty()) << pending_.size() << " expected window(s) never opened";
  }

  void Expect(Handler handler) { pending_.push_back(std::move(handler)); }

  // A message box: its text is kept, and it is closed.
  void ExpectMessage(QString* text) {
    Expect([text](QWidget* window) {
      auto* box = qobject_cast<QMessageBox*>(window);
      ASSERT_NE(box, nullptr) << "expected a message box";
      if (text != nullptr) *text = box->windowTitle() + QLatin1Char('|') + box->text();
      box->reject();
    });
  }

  // A file dialog: path is typed into its name box and accepted.
  void ExpectFileChoice(const QString& path) {
    Expect([path](QWidget* window) {
      auto* dialog = qobject_cast<QFileDialog*>(window);
      ASSERT_NE(dialog, nullptr) << "expected a file dialog";
      auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      ASSERT_NE(name, nullptr) << "expected the dialog's own (non-native) form";
      name->setText(path);
      QMetaObject::invokeMethod(dialog, "accept");
    });
  }

  // Processes events until every expected window has been answered (or 5 s passed).
  void Drain() {
    QElapsedTimer clock;
    clock.start();
    while (!pending_.empty() && clock.elapsed() < 5000) QApplication::processEvents();
  }

 private:
  void Poll() {
    QWidget* window = QApplication::activeModalWidget();
    if (window == nullptr || window == last_) return;
    last_ = window;
    if (pending_.empty()) {
      ADD_FAILURE() << "unexpected window: " << window->windowTitle().toStdString();
      qobject_cast<QDialog*>(window)->reject();
      return;
    }
    Handler handler = std::move(pending_.front());
    pending_.pop_front();
    handler(window);
    if (window->isVisible()) qobject_cast<QDialog*>(window)->reject();
  }

  QTimer timer_;
  std::deque<Handler> pending_;
  QPointer<QWidget> last_;
};

}  // namespace kiln::testing
