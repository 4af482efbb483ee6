#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/unique_fd.h"
#include "support/outside_environment.h"

extern char** environ;

namespace kiln::testing {

// A private X server (Xvfb) for the length of a test; display() is empty when Xvfb is not
// installed or did not start. screen: width x height x depth.
class XvfbServer {
 public:
  explicit XvfbServer(const char* screen = "320x240x24") {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    platform::UniqueFd readEnd(fds[0]);
    platform::UniqueFd writeEnd(fds[1]);
    // Xvfb writes the display number it chose to descriptor 3.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), 3);
    // -noreset: a server that resets when its last client leaves refuses the next
    // connection for a moment, and a test that connects twice would see no display.
    const char* args[] = {"Xvfb",     "-displayfd", "3", "-nolisten", "tcp",
                          "-noreset", "-screen",    "0", screen,      nullptr};
    // The server runs outside the test bed and without the test's preloaded libraries.
    std::vector<char*> environment = OutsideTestBedEnvironment();
    const int spawned = ::posix_spawnp(&pid_, "Xvfb", &actions, nullptr,
                                       const_cast<char* const*>(args), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    writeEnd = platform::UniqueFd();
    if (spawned != 0) {
      pid_ = -1;
      return;
    }
    std::string number;
    pollfd ready{readEnd.get(), POLLIN, 0};
    char c = 0;
    while (::poll(&ready, 1, 10000) == 1 && ::read(readEnd.get(), &c, 1) == 1 && c != '\n') {
      number.push_back(c);
    }
    if (!number.empty()) display_ = ":" + number;
  }
  ~XvfbServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// One report message as a receiving window got it.
struct ReceivedReport {
  uint32_t window = 0;
  uint32_t message = 0;
  uint32_t wParam = 0;
  uint32_t lParam = 0;
};

// Windows of a test's own on the X display, recording the KILN_REPORT client messages
// they receive.
class ReportReceiver {
 public:
  explicit ReportReceiver(const std::string& display)
      : connection_(xcb_connect(display.c_str(), nullptr)) {
    if (xcb_connection_has_error(connection_) != 0) return;
    const char* name = "KILN_REPORT";
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    if (reply == nullptr) return;
    atom_ = reply->atom;
    std::free(reply);
  }
  ~ReportReceiver() { xcb_disconnect(connection_); }
  ReportReceiver(const ReportReceiver&) = delete;
  ReportReceiver& operator=(const ReportReceiver&) = delete;

  bool ok() const { return xcb_connection_has_error(connection_) == 0 && atom_ != 0; }

  // A new (unmapped) window; its id as a W option takes it.
  uint32_t NewWindow() {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    const uint32_t window = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    Sync();
    return window;
  }
  // The id of a window that existed and is gone.
  uint32_t GoneWindow() {
    const uint32_t window = NewWindow();
    xcb_destroy_window(connection_, window);
    Sync();
    return window;
  }

  // Every report received since the last call, in the order of arrival.
  std::vector<ReceivedReport> Take() {
    Sync();
    std::vector<ReceivedReport> reports;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      if ((event->response_type & 0x7F) == XCB_CLIENT_MESSAGE) {
        const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
        if (message->type == atom_ && message->format == 32) {
          reports.push_back({message->window, message->data.data32[0], message->data.data32[1],
                             message->data.data32[2]});
        }
      }
      std::free(event);
    }
    return reports;
  }

 private:
  // A round trip: everything the server sent before it has arrived.
  void Sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

  xcb_connection_t* connection_;
  uint32_t atom_ = 0;
};

}  // namespace kiln::testing
