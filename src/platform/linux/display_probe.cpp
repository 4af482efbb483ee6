#include "platform/linux/display_probe.h"

#include <sys/stat.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace kiln::platform {

namespace {

bool X11DisplayAnswers() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return false;
  xcb_connection_t* connection = xcb_connect(display, nullptr);
  const bool answers = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return answers;
}

bool WaylandSocketExists() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (name == nullptr || *name == '\0') return false;
  std::string path = name;
  if (path.front() != '/') {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr) return false;
    path = std::string(runtime) + "/" + path;
  }
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

}  // namespace

bool HasUsableDisplay() {
  const char* chosen = std::getenv("QT_QPA_PLATFORM");
  std::string_view platform = chosen != nullptr ? chosen : "";
  platform = platform.substr(0, platform.find_first_of(";:"));
  if (platform.empty() || platform == "xcb") return X11DisplayAnswers();
  if (platform.rfind("wayland", 0) == 0) return WaylandSocketExists();
  return true;
}

}  // namespace kiln::platform
