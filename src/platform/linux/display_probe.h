#pragma once

namespace kiln::platform {

// Whether the window can be shown: the GUI toolkit's platform (QT_QPA_PLATFORM, first
// choice; the X11 one when unset) has a display to draw on. A platform without a display
// server (offscreen, minimal, vnc, a frame buffer) always has one; X11 needs $DISPLAY to
// accept a connection; Wayland needs its socket. Checked before the toolkit starts, which
// otherwise aborts the process without a display.
bool HasUsableDisplay();

}  // namespace kiln::platform
