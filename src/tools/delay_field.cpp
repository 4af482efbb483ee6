#include "tools/delay_field.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <algorithm>

namespace kiln::tools {

DelaySpin::DelaySpin(QLineEdit* buddy, QWidget* parent)
    : QWidget(parent), buddy_(buddy), up_(new QToolButton(this)), down_(new QToolButton(this)) {
  // Digits only; the box owns its validator.
  const QRegularExpression digits(QStringLiteral("[0-9]*"));
  // NOLINTNEXTLINE(cppcoreguidelines-owning-memory)
  buddy_->setValidator(new QRegularExpressionValidator(digits, buddy_));
  buddy_->installEventFilter(this);
  up_->setObjectName(QStringLiteral("up"));
  down_->setObjectName(QStringLiteral("down"));
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  up_->setAutoRepeat(true);
  down_->setAutoRepeat(true);
  connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
  connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
}

void DelaySpin::SetPosition(int value) {
  position_ = std::clamp(value, kMinimum, kMaximum);
  buddy_->setText(QString::number(position_));
}

void DelaySpin::Step(int delta) {
  // Steps from the number in the box when it is one, else from the last position.
  bool ok = false;
  const int typed = buddy_->text().toInt(&ok);
  SetPosition((ok ? std::clamp(typed, kMinimum, kMaximum) : position_) + delta);
}

bool DelaySpin::eventFilter(QObject* watched, QEvent* event) {
  if (watched == buddy_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      Step(key == Qt::Key_Up ? 1 : -1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void DelaySpin::resizeEvent(QResizeEvent* /*event*/) {
  const int half = height() / 2;
  up_->setGeometry(0, 0, width(), half);
  down_->setGeometry(0, half, width(), height() - half);
}

}  // namespace kiln::tools
