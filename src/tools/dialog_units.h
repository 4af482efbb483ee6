#pragma once

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>
#include <QWidget>
#include <utility>

// Dialog templates give positions in dialog units: a horizontal unit is a quarter of the
// dialog font's average character width, a vertical unit an eighth of its height. Our
// dialogs keep the templates' numbers and convert them with the font they really use,
// so every window keeps its proportions on any font.
namespace kiln::tools {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    baseX_ = metrics.averageCharWidth();
    baseY_ = metrics.height();
  }
  int X(int units) const { return (units * baseX_ + 2) / 4; }
  int Y(int units) const { return (units * baseY_ + 4) / 8; }
  QRect Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
  }

 private:
  int baseX_ = 4;
  int baseY_ = 8;
};

// The font of a template: the desktop's font family at the template's point size.
inline QFont TemplateFont(int pointSize) {
  QFont font = QApplication::font();
  font.setPointSize(pointSize);
  return font;
}

// Creates a control as a child of dialog at a template rectangle. A control with an ID
// is named "id<ID>", so that callers and tests can find it by the template's number.
template <typename Control, typename... Args>
Control* PlaceControl(QWidget* dialog, const DialogUnits& units, int id, QRect templateRect,
                      Args&&... args) {
  // The dialog owns its controls.
  // NOLINTNEXTLINE(cppcoreguidelines-owning-memory)
  auto* control = new Control(std::forward<Args>(args)..., dialog);
  control->setGeometry(
      units.Rect(templateRect.x(), templateRect.y(), templateRect.width(), templateRect.height()));
  if (id != 0) control->setObjectName(QStringLiteral("id%1").arg(id));
  return control;
}

}  // namespace kiln::tools
