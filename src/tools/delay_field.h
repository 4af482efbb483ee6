#pragma once

#include <QObject>
#include <QWidget>

#include "tools/advanced_setting_form.h"

class QLineEdit;
class QToolButton;

namespace kiln::tools {

// The arrows beside a delay box: they step the box's number by one within the delay range and
// write it back as a plain decimal number; Up and Down in the box do the same. The box
// itself takes any digits, so that a number out of range can be typed and refused when
// the dialog takes its values.
class DelaySpin : public QWidget {
 public:
  static constexpr int kMinimum = kShortestDelaySeconds;
  static constexpr int kMaximum = kLongestDelaySeconds;

  DelaySpin(QLineEdit* buddy, QWidget* parent);
  void SetPosition(int value);  // clamped into the range
  void Step(int delta);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLineEdit* buddy_;
  QToolButton* up_;
  QToolButton* down_;
  int position_ = 0;
};

}  // namespace kiln::tools
