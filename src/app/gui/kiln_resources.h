#pragma once

#include <QIcon>
#include <QTimer>
#include <QWidget>

namespace kiln::app {

// The application icon: a flash chip over a flame, at the sizes window managers ask for.
QIcon KilnIcon();

// The animation shown while firmware is written: packets travelling from the firmware
// file into the printer's flash chip, which glows as it is written. Transparent
// background; nothing is drawn while it is stopped.
class BurningAnimation final : public QWidget {
 public:
  explicit BurningAnimation(QWidget* parent = nullptr);

  void start();
  void stop();
  bool isRunning() const { return timer_.isActive(); }
  int frame() const { return frame_; }

  static constexpr int kFrames = 16;
  static constexpr int kFrameMs = 90;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer timer_;
  int frame_ = 0;
};

}  // namespace kiln::app
