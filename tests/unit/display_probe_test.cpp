// Whether the window can be shown, judged from the environment before the GUI toolkit
// starts: each kind of platform against a display that is there and one that is not.
#include "platform/linux/display_probe.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>

#include "support/temp_dir.h"
#include "support/x_display.h"

namespace kiln::platform {
namespace {

// The display variables of the test process, put back when the test ends.
class DisplayEnvironment {
 public:
  DisplayEnvironment() {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_[Index(name)] = value ? std::optional<std::string>(value) : std::nullopt;
      ::unsetenv(name);
    }
  }
  ~DisplayEnvironment() {
    for (const char* name : kNames) {
      const auto& value = saved_[Index(name)];
      value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
  }
  DisplayEnvironment(const DisplayEnvironment&) = delete;
  DisplayEnvironment& operator=(const DisplayEnvironment&) = delete;

 private:
  static constexpr const char* kNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                           "XDG_RUNTIME_DIR"};
  static std::size_t Index(const char* name) {
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
      if (std::strcmp(kNames[i], name) == 0) return i;
    }
    return 0;
  }
  std::optional<std::string> saved_[std::size(kNames)];
};

// A socket file at path that nothing listens on, as a compositor's socket would be named.
void MakeSocketFile(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

TEST(DisplayProbe, PlatformsWithoutADisplayServerAlwaysHaveOne) {
  const DisplayEnvironment environment;
  for (const char* platform : {"offscreen", "minimal", "vnc", "offscreen;xcb"}) {
    ::setenv("QT_QPA_PLATFORM", platform, 1);
    EXPECT_TRUE(HasUsableDisplay()) << platform;
  }
}

TEST(DisplayProbe, X11NeedsADisplayThatAcceptsAConnection) {
  const DisplayEnvironment environment;
  EXPECT_FALSE(HasUsableDisplay()) << "no DISPLAY";
  ::setenv("DISPLAY", ":4711", 1);
  EXPECT_FALSE(HasUsableDisplay()) << "a display nobody serves";
  const kiln::testing::XvfbServer server;
  if (server.display().empty()) GTEST_SKIP() << "Xvfb is not installed or did not start";
  ::setenv("DISPLAY", server.display().c_str(), 1);
  EXPECT_TRUE(HasUsableDisplay());
  ::setenv("QT_QPA_PLATFORM", "xcb:nodeadkeys", 1);
  EXPECT_TRUE(HasUsableDisplay()) << "the platform's options are not part of its name";
}

TEST(DisplayProbe, WaylandNeedsItsSocket) {
  const DisplayEnvironment environment;
  const kiln::testing::TempDir runtime;
  MakeSocketFile(runtime.File("wayland-7"));
  runtime.Write("not-a-socket", "");
  ::setenv("QT_QPA_PLATFORM", "wayland", 1);
  EXPECT_FALSE(HasUsableDisplay()) << "no WAYLAND_DISPLAY";
  ::setenv("WAYLAND_DISPLAY", runtime.File("wayland-7").c_str(), 1);
  EXPECT_TRUE(HasUsableDisplay()) << "an absolute socket path";
  ::setenv("WAYLAND_DISPLAY", "wayland-7", 1);
  EXPECT_FALSE(HasUsableDisplay()) << "a name without XDG_RUNTIME_DIR";
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  EXPECT_TRUE(HasUsableDisplay()) << "a name in the runtime folder";
  ::setenv("WAYLAND_DISPLAY", "not-a-socket", 1);
  EXPECT_FALSE(HasUsableDisplay()) << "a file that is not a socket";
}

}  // namespace
}  // namespace kiln::platform
