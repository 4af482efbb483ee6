#include "app/gui/kiln_resources.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace kiln::app {

namespace {

const QColor kChipBody(0x37, 0x41, 0x4f);
const QColor kChipPin(0xb8, 0xc2, 0xcc);
const QColor kFlameOuter(0xf0, 0x6a, 0x1c);
const QColor kFlameInner(0xff, 0xd1, 0x4a);
const QColor kFileBody(0xf4, 0xf6, 0xf8);
const QColor kFileEdge(0x5b, 0x6b, 0x7b);

// A flame standing on the bottom edge of box, swaying with phase (0..1).
QPainterPath Flame(const QRectF& box, double phase) {
  const double sway = std::sin(phase * 2 * M_PI) * box.width() * 0.08;
  const QPointF tip(box.center().x() + sway, box.top());
  QPainterPath path;
  path.moveTo(box.center().x(), box.bottom());
  path.cubicTo(box.left(), box.bottom(), box.left(), box.center().y(), tip.x() - box.width() * 0.1,
               box.top() + box.height() * 0.45);
  path.lineTo(tip);
  path.cubicTo(box.right(), box.center().y(), box.right(), box.bottom(), box.center().x(),
               box.bottom());
  return path;
}

void PaintFlame(QPainter& painter, const QRectF& box, double phase) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(kFlameOuter);
  painter.drawPath(Flame(box, phase));
  const QRectF inner(box.left() + box.width() * 0.28, box.top() + box.height() * 0.4,
                     box.width() * 0.44, box.height() * 0.6);
  painter.setBrush(kFlameInner);
  painter.drawPath(Flame(inner, phase + 0.25));
}

// A chip with three pins on each side; glow (0..1) lights its centre.
void PaintChip(QPainter& painter, const QRectF& box, double glow) {
  const double pin = box.width() * 0.12;
  const QRectF body = box.adjusted(pin, pin * 0.5, -pin, -pin * 0.5);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kChipPin);
  for (int i = 0; i < 3; ++i) {
    const double y = body.top() + body.height() * (0.2 + 0.3 * i);
    painter.drawRect(QRectF(box.left(), y, pin, pin * 0.6));
    painter.drawRect(QRectF(body.right(), y, pin, pin * 0.6));
  }
  painter.setBrush(kChipBody);
  painter.drawRoundedRect(body, pin * 0.4, pin * 0.4);
  if (glow > 0) {
    QColor light = kFlameInner;
    light.setAlphaF(float(glow));
    painter.setBrush(light);
    const double inset = body.width() * 0.28;
    painter.drawRoundedRect(body.adjusted(inset, inset, -inset, -inset), pin * 0.3, pin * 0.3);
  }
}

QPixmap IconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const double s = size;
  PaintFlame(painter, QRectF(s * 0.08, s * 0.02, s * 0.84, s * 0.96), 0.0);
  PaintChip(painter, QRectF(s * 0.22, s * 0.38, s * 0.56, s * 0.46), 0.9);
  return pixmap;
}

// A sheet with a folded corner and three lines of text.
void PaintFile(QPainter& painter, const QRectF& box) {
  const double fold = box.width() * 0.3;
  QPainterPath sheet;
  sheet.moveTo(box.topLeft());
  sheet.lineTo(box.right() - fold, box.top());
  sheet.lineTo(box.right(), box.top() + fold);
  sheet.lineTo(box.bottomRight());
  sheet.lineTo(box.bottomLeft());
  sheet.closeSubpath();
  painter.setPen(QPen(kFileEdge, 1));
  painter.setBrush(kFileBody);
  painter.drawPath(sheet);
  for (int i = 0; i < 3; ++i) {
    const double y = box.top() + box.height() * (0.4 + 0.18 * i);
    painter.drawLine(QPointF(box.left() + box.width() * 0.2, y),
                     QPointF(box.right() - box.width() * 0.2, y));
  }
}

}  // namespace

QIcon KilnIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(IconPixmap(size));
  return icon;
}

BurningAnimation::BurningAnimation(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TranslucentBackground);
  timer_.setInterval(kFrameMs);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] {
    frame_ = (frame_ + 1) % kFrames;
    update();
  });
}

void BurningAnimation::start() {
  if (timer_.isActive()) return;
  frame_ = 0;
  timer_.start();
  update();
}

void BurningAnimation::stop() {
  timer_.stop();
  update();
}

void BurningAnimation::paintEvent(QPaintEvent*) {
  if (!timer_.isActive()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const double h = height();
  const double w = width();
  const double phase = double(frame_) / kFrames;

  const QRectF file(h * 0.15, h * 0.1, h * 0.65, h * 0.8);
  // The chip sits on a flame that flickers under it.
  const QRectF chip(w - h * 1.0, h * 0.04, h * 0.8, h * 0.62);
  PaintFile(painter, file);
  PaintFlame(painter,
             QRectF(chip.left() + chip.width() * 0.12, h * 0.3, chip.width() * 0.76, h * 0.7),
             phase);
  PaintChip(painter, chip, 0.35 + 0.35 * std::sin(phase * 2 * M_PI));

  // Packets on the track between file and chip, moving one step a frame.
  const double left = file.right() + h * 0.2;
  const double right = chip.left() - h * 0.2;
  const double packet = h * 0.22;
  const int packets = 5;
  painter.setPen(Qt::NoPen);
  for (int i = 0; i < packets; ++i) {
    const double t = std::fmod(phase + double(i) / packets, 1.0);
    QColor colour = kFlameOuter;
    colour.setAlphaF(float(0.35 + 0.65 * t));
    painter.setBrush(colour);
    const double x = left + t * (right - left - packet);
    painter.drawRoundedRect(QRectF(x, (h - packet) / 2, packet, packet), 2, 2);
  }
}

}  // namespace kiln::app
