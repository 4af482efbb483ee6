#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QWidget>
#include <utility>

// Dialogs are laid out in dialog units, as their templates give them: a horizontal unit is
// a quarter of the dialog font's average character width, a vertical unit an eighth of
// its height. Converting through the font keeps every window's proportions on any font.
namespace kiln::app {

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

}  // namespace kiln::app
