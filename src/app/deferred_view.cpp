#include "app/deferred_view.h"

namespace kiln::app {

void DeferredView::Replay(MainWindowView& view) const {
  for (const auto& show : kept_) show(view);
}

void DeferredView::KeepText(void (MainWindowView::*show)(const char*), const char* text) {
  kept_.emplace_back([show, copy = std::string(text != nullptr ? text : "")](MainWindowView& view) {
    (view.*show)(copy.c_str());
  });
}

void DeferredView::KeepFlag(void (MainWindowView::*show)(bool), bool value) {
  kept_.emplace_back([show, value](MainWindowView& view) { (view.*show)(value); });
}

}  // namespace kiln::app
