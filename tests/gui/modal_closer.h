#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace kiln::testing {

// Acts on the next modal dialog once it is shown, so that a test that opens one never
// hangs: when no modal dialog appears within the limit, nothing is done and the test's
// own checks fail. The action usually presses a button of the dialog.
inline void OnNextModal(std::function<void(QWidget*)> action, int limitMs = 5000) {
  auto* poll = new QTimer(qApp);
  const QDeadlineTimer deadline(limitMs);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, deadline, action = std::move(action)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr && !deadline.hasExpired()) return;
    poll->stop();
    poll->deleteLater();
    if (modal != nullptr) action(modal);
  });
  poll->start(10);
}

}  // namespace kiln::testing
