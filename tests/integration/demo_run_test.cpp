// scripts/run with a display, as a newcomer meets it: the window on a private X server,
// clicked and typed into through the server's own input (the XTEST extension), so that the
// window gets what a person's mouse and keyboard give it. Checks that the printer ends at
// the package's version, that the demo's print server showed the queue hold, and that it
// is gone when the demo ends, however the demo ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/uio.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/x_display.h"

namespace kiln::testing {
namespace {

constexpr uint32_t kEscapeSym = 0xff1b;

// A person's keyboard and mouse on the X server, aimed at the window titled "Kiln": the
// events come from the server's own input devices, not marked as sent by a client.
class Person {
 public:
  explicit Person(const std::string& display) : c_(xcb_connect(display.c_str(), nullptr)) {
    if (xcb_connection_has_error(c_) != 0) return;
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c_, &xtest_);
    ok_ = ext != nullptr && ext->present != 0;
  }
  ~Person() { xcb_disconnect(c_); }
  Person(const Person&) = delete;
  Person& operator=(const Person&) = delete;

  bool ok() const { return ok_; }
  bool WindowShown() { return KilnWindow() != XCB_NONE; }

  // Clicks START: the window lays its controls out in dialog units, 223 wide, and START
  // spans 173 to 216 across and 6 to 45 down. The vertical unit is close to the
  // horizontal one for any font, and the button is tall enough to take that guess. A
  // click on START while it is disabled does nothing.
  bool ClickStart() {
    const xcb_window_t window = KilnWindow();
    if (window == XCB_NONE) return false;
    xcb_get_geometry_reply_t* box =
        xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window), nullptr);
    if (box == nullptr) return false;
    const double unit = box->width / 223.0;
    const auto x = static_cast<int16_t>(box->x + unit * (173 + 43 / 2));
    const auto y = static_cast<int16_t>(box->y + unit * (6 + 39 / 2));
    std::free(box);
    Fake(XCB_MOTION_NOTIFY, 0, x, y);
    Fake(XCB_BUTTON_PRESS, 1);
    Fake(XCB_BUTTON_RELEASE, 1);
    Sync();
    return true;
  }

  // Gives the Kiln window the input focus and presses and releases the key.
  bool Press(uint32_t keysym) {
    const xcb_window_t window = KilnWindow();
    const xcb_keycode_t key = KeycodeOf(keysym);
    if (window == XCB_NONE || key == 0) return false;
    xcb_set_input_focus(c_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    Fake(XCB_KEY_PRESS, key);
    Fake(XCB_KEY_RELEASE, key);
    Sync();
    return true;
  }

 private:
  // A round trip: the server has handled every request before it.
  void Sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

  // XTEST FakeInput: a key or button (detail), or the pointer moved to x, y on the screen.
  void Fake(uint8_t type, uint8_t detail, int16_t x = 0, int16_t y = 0) {
    struct {
      uint8_t major, minor;
      uint16_t length;
      uint8_t type, detail, pad0[2];
      uint32_t time, window;
      uint8_t pad1[8];
      int16_t x, y;
      uint8_t pad2[7], device;
    } request{};
    static_assert(sizeof(request) == 36);
    request.type = type;
    request.detail = detail;
    request.window = root_;
    request.x = x;
    request.y = y;
    iovec parts[4] = {};
    parts[2] = {&request, sizeof(request)};
    xcb_protocol_request_t protocol = {2, &xtest_, 2 /* FakeInput */, 1};
    xcb_send_request(c_, XCB_REQUEST_CHECKED, parts + 2, &protocol);
  }

  xcb_keycode_t KeycodeOf(uint32_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(c_);
    const uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
        c_, xcb_get_keyboard_mapping(c_, setup->min_keycode, count), nullptr);
    if (map == nullptr) return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    xcb_keycode_t found = 0;
    for (int i = 0; i < xcb_get_keyboard_mapping_keysyms_length(map) && found == 0; ++i) {
      if (syms[i] == keysym) {
        found = static_cast<xcb_keycode_t>(setup->min_keycode + i / map->keysyms_per_keycode);
      }
    }
    std::free(map);
    return found;
  }

  // The mapped top-level window whose name is "Kiln"; XCB_NONE while there is none.
  xcb_window_t KilnWindow() {
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr);
    if (tree == nullptr) return XCB_NONE;
    xcb_window_t found = XCB_NONE;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && found == XCB_NONE; ++i) {
      xcb_get_window_attributes_reply_t* attributes =
          xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, children[i]), nullptr);
      const bool mapped = attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
      std::free(attributes);
      xcb_get_property_reply_t* name = xcb_get_property_reply(
          c_, xcb_get_property(c_, 0, children[i], XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 64), nullptr);
      if (mapped && name != nullptr &&
          std::string(static_cast<const char*>(xcb_get_property_value(name)),
                      static_cast<std::size_t>(xcb_get_property_value_length(name))) == "Kiln") {
        found = children[i];
      }
      std::free(name);
    }
    std::free(tree);
    return found;
  }

  xcb_connection_t* c_;
  xcb_window_t root_ = XCB_NONE;
  xcb_extension_t xtest_ = {"XTEST", 0};
  bool ok_ = false;
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// scripts/run on a private X server with the given transport ("usblp" or "libusb"), its
// standard output and error in files of its own.
class DemoRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (x_.display().empty()) GTEST_SKIP() << "Xvfb is not installed";
    ::setenv("DISPLAY", x_.display().c_str(), 1);
    ::setenv("KILN_BUILD_DIR", KILN_BUILD_DIR, 1);
    ::setenv("KILN_DEMO_DIR", dir_.File("demo").c_str(), 1);
  }

  std::unique_ptr<ChildProcess> Start() {
    const char* shown = std::getenv("KILN_TESTBED_TRANSPORT");
    const std::string transport =
        shown != nullptr && std::string(shown) == "usbfs" ? "libusb" : "usblp";
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>" + err_,
                                 KILN_SOURCE_DIR "/scripts/run", "--no-build",
                                 "--transport=" + transport},
        out_);
  }
  std::string Said() const { return TempDir::Read(err_); }

  // The print server's folder, from the socket it named.
  std::filesystem::path ServerFolder() const {
    const std::string named = TempDir::Read(dir_.File("demo/print-server"));
    if (!named.starts_with("CUPS_SERVER=/")) return {};
    return std::filesystem::path(named.substr(12, named.find('\n') - 12)).parent_path();
  }

  // Starts the demo and waits until its window is shown, with the print server running.
  void StartToTheWindow(Person& person) {
    run_ = Start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!person.WindowShown() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(person.WindowShown());
    server_ = ServerFolder();
    ASSERT_TRUE(std::filesystem::exists(server_));
  }

  XvfbServer x_;
  TempDir dir_;
  std::string out_ = dir_.File("stdout.txt");
  std::string err_ = dir_.File("stderr.txt");
  std::unique_ptr<ChildProcess> run_;
  std::filesystem::path server_;
};

TEST_F(DemoRun, WindowUpdatesThePrinterWhenStartIsPressed) {
  Person person(x_.display());
  ASSERT_TRUE(person.ok()) << "the X server offers XTEST";
  std::unique_ptr<ChildProcess> run = Start();

  // The person clicks START until it takes the click: the print server pauses the queue
  // as the update begins. Then Escape (Exit) once the update has ended and the queue
  // prints again.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::optional<int> exit;
  while (!(exit = run->WaitFor(std::chrono::milliseconds(300))) &&
         std::chrono::steady_clock::now() < deadline) {
    const std::string said = Said();
    if (!Contains(said, "print queue M07 paused")) {
      person.ClickStart();
    } else if (Contains(said, "print queue M07 prints again")) {
      person.Press(kEscapeSym);
    }
  }
  if (!exit) {  // stopped as a person stops it, so that nothing is left running
    ::kill(run->pid(), SIGTERM);
    run->WaitFor(std::chrono::seconds(30));
  }
  const std::string said = Said();
  ASSERT_EQ(exit, 0) << said;
  EXPECT_TRUE(Contains(TempDir::Read(out_), "Printer firmware version now: 1.10\n"))
      << TempDir::Read(out_);
  EXPECT_TRUE(Contains(said, "print queue M07 paused: Paused by Kiln (PID ")) << said;
  EXPECT_TRUE(Contains(said, "print queue M07 prints again")) << said;
  ASSERT_FALSE(ServerFolder().empty());
  EXPECT_FALSE(std::filesystem::exists(ServerFolder()))
      << "the print server stopped and its folder went with it";
}

// A demo stopped while its window is open ends at once, print server and window too.
TEST_F(DemoRun, StoppedWhileTheWindowIsOpenLeavesNothingRunning) {
  Person person(x_.display());
  ASSERT_NO_FATAL_FAILURE(StartToTheWindow(person));

  ASSERT_EQ(::kill(run_->pid(), SIGTERM), 0);
  EXPECT_EQ(run_->WaitFor(std::chrono::seconds(20)), 143) << Said();
  EXPECT_FALSE(std::filesystem::exists(server_)) << "the print server stopped";
  EXPECT_FALSE(person.WindowShown()) << "the window went with the demo";
}

// A demo killed outright runs no trap: the print server stops by itself when its parent
// goes, instead of serving on with nobody to stop it.
TEST_F(DemoRun, KilledDemoStillStopsItsPrintServer) {
  Person person(x_.display());
  ASSERT_NO_FATAL_FAILURE(StartToTheWindow(person));

  ASSERT_EQ(::kill(run_->pid(), SIGKILL), 0);
  for (int i = 0; i < 100 && std::filesystem::exists(server_); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_FALSE(std::filesystem::exists(server_)) << "the print server stopped";
}

}  // namespace
}  // namespace kiln::testing
