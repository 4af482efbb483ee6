#include "app/gui/retext_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QVariant>
#include <QWidget>

#include "app/gui/language_text.h"

namespace kiln::app {

namespace {

// Names of the properties in which a widget or an item keeps its English key and the
// text re-texting last gave it.
constexpr const char* kKeyProperty = "kilnTextKey";
constexpr const char* kShownProperty = "kilnTextShown";
constexpr int kItemKeyRole = Qt::UserRole + 0x4B4E;  // beside the item data of Qt::UserRole

class Retexter {
 public:
  Retexter(const i18n::LanguageFile& language, std::string_view tag)
      : language_(language), tag_(tag) {}

  // The translation of a text that carries no remembered key.
  QString Translate(const QString& key) {
    const QByteArray bytes = key.toUtf8();
    return DecodeLanguageText(language_.Translate(std::string_view(bytes.data(), bytes.size())),
                              tag_);
  }

  // Re-texts one caption of an object: finds its English key (the remembered one while
  // the caption is still what re-texting left), translates it and remembers both.
  template <typename Get, typename Set>
  void Caption(QObject* object, Get get, Set set) {
    const QString current = get();
    QString key = current;
    if (object->property(kShownProperty).toString() == current &&
        object->property(kKeyProperty).isValid()) {
      key = object->property(kKeyProperty).toString();
    }
    if (key.isEmpty()) return;
    const QString translated = Translate(key);
    object->setProperty(kKeyProperty, key);
    object->setProperty(kShownProperty, translated);
    if (translated != current) set(translated);
  }

  void ComboItems(QComboBox* combo) {
    const int selected = combo->currentIndex();
    for (int i = 0; i < combo->count(); ++i) {
      const QString current = combo->itemText(i);
      const QVariant remembered = combo->itemData(i, kItemKeyRole);
      // An item keeps its key as a pair (key, shown text) in a role of its own.
      QString key = current;
      const QStringList pair = remembered.toStringList();
      if (pair.size() == 2 && pair[1] == current) key = pair[0];
      if (key.isEmpty()) continue;
      const QString translated = Translate(key);
      combo->setItemText(i, translated);
      combo->setItemData(i, QStringList{key, translated}, kItemKeyRole);
      // Item data -1 is indistinguishable from a failed read of the data: it is not kept.
      bool numeric = false;
      if (combo->itemData(i).toLongLong(&numeric) == -1 && numeric) {
        combo->setItemData(i, QVariant());
      }
    }
    combo->setCurrentIndex(selected);
  }

  void Menu(const QList<QAction*>& actions) {
    for (QAction* action : actions) {
      if (!action->text().isEmpty()) {
        Caption(
            action, [action] { return action->text(); },
            [action](const QString& text) { action->setText(text); });
      }
      if (QMenu* submenu = action->menu()) {
        Caption(
            submenu, [submenu] { return submenu->title(); },
            [submenu](const QString& text) { submenu->setTitle(text); });
        Menu(submenu->actions());
      }
    }
  }

  void Child(QWidget* child) {
    if (auto* combo = qobject_cast<QComboBox*>(child)) {
      ComboItems(combo);
    } else if (auto* button = qobject_cast<QAbstractButton*>(child)) {
      Caption(
          button, [button] { return button->text(); },
          [button](const QString& text) { button->setText(text); });
    } else if (auto* label = qobject_cast<QLabel*>(child)) {
      // A language text is shown as it is, never read as markup.
      label->setTextFormat(Qt::PlainText);
      Caption(
          label, [label] { return label->text(); },
          [label](const QString& text) { label->setText(text); });
    } else if (auto* group = qobject_cast<QGroupBox*>(child)) {
      Caption(
          group, [group] { return group->title(); },
          [group](const QString& text) { group->setTitle(text); });
    } else if (auto* menuBar = qobject_cast<QMenuBar*>(child)) {
      Menu(menuBar->actions());
    }
    // Edit fields hold values, not captions, and list widgets keep their items.
  }

 private:
  const i18n::LanguageFile& language_;
  std::string_view tag_;
};

}  // namespace

void RetextWindow(QWidget* window, const i18n::LanguageFile& language,
                  std::string_view languageTag) {
  if (window == nullptr) return;
  Retexter retexter(language, languageTag);
  retexter.Caption(
      window, [window] { return window->windowTitle(); },
      [window](const QString& text) { window->setWindowTitle(text); });
  for (QObject* object : window->children()) {
    if (auto* child = qobject_cast<QWidget*>(object); child != nullptr && !child->isWindow()) {
      retexter.Child(child);
    }
  }
  // The window's own actions make up its context menu.
  retexter.Menu(window->actions());
}

}  // namespace kiln::app
