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
// so every window keeps its proportions on any font. The main window's dialogs and the
// maintenance dialogs share these conversions.
namespace kiln::tools {

namespace dialog_units {
inline int Scale(int units, int base, int divisor) {
  return (units * base + divisor / 2) / divisor;
}
}  // namespace dialog_units

// The horizontal base of a font: the average width of the 52 Latin letters, rounded, as
// templates were measured (a font's own average width is often narrower, cutting texts).
inline int DialogBaseWidth(const QFontMetrics& metrics) {
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return (letters / 26 + 1) / 2;
}

// A template rectangle (x, y, width, height in dialog units) in pixels for font.
inline QRect DialogRect(const QFont& font, int x, int y, int cx, int cy) {
  const QFontMetrics metrics(font);
  const int baseX = DialogBaseWidth(metrics);
  const int baseY = metrics.height();
  using dialog_units::Scale;
  return QRect(Scale(x, baseX, 4), Scale(y, baseY, 8), Scale(cx, baseX, 4), Scale(cy, baseY, 8));
}

// Sizes a dialog's client area to the template's width and height.
inline void SizeDialog(QWidget* dialog, int cx, int cy) {
  dialog->setFixedSize(DialogRect(dialog->font(), 0, 0, cx, cy).size());
}

// Places a child of a dialog at its template position, converted with the dialog's font.
template <typename Widget>
Widget* PlaceInDialog(Widget* child, int x, int y, int cx, int cy) {
  const QWidget* dialog = child->parentWidget();
  child->setGeometry(DialogRect(dialog != nullptr ? dialog->font() : child->font(), x, y, cx, cy));
  return child;
}

// Creates a control owned by dialog (constructor arguments first, the dialog as parent
// last) and places it at its template position.
template <typename Widget, typename... Args>
Widget* AddControl(QWidget* dialog, int x, int y, int cx, int cy, Args&&... args) {
  // NOLINTNEXTLINE(cppcoreguidelines-owning-memory): the dialog owns and deletes it
  auto* control = new Widget(std::forward<Args>(args)..., dialog);
  return PlaceInDialog(control, x, y, cx, cy);
}

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    baseX_ = DialogBaseWidth(metrics);
    baseY_ = metrics.height();
  }
  int X(int units) const { return dialog_units::Scale(units, baseX_, 4); }
  int Y(int units) const { return dialog_units::Scale(units, baseY_, 8); }
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
