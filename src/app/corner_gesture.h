#pragma once

namespace kiln::app {

// The hidden maintenance gestures: a left click in the window's top-left corner with
// Ctrl held opens the Setting dialog, with Ctrl and Shift the Advanced Settings dialog.
enum class CornerGesture { kNone, kSetting, kAdvancedSettings };

// x and y are client pixels of a left button press.
constexpr CornerGesture ClassifyCornerClick(int x, int y, bool ctrl, bool shift) {
  const bool inCorner = x >= 0 && x <= 12 && y >= 0 && y <= 10;
  if (!inCorner || !ctrl) return CornerGesture::kNone;
  return shift ? CornerGesture::kAdvancedSettings : CornerGesture::kSetting;
}

}  // namespace kiln::app
