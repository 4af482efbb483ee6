#include "platform/linux/x11_report.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace kiln::platform {

namespace {

// xcb hands out replies and errors allocated with malloc, for the caller to free.
struct FreeXcbMemory {
  void operator()(void* memory) const {
    std::free(memory);  // NOLINT(cppcoreguidelines-no-malloc,cppcoreguidelines-owning-memory)
  }
};
template <typename T>
using XcbOwned = std::unique_ptr<T, FreeXcbMemory>;

}  // namespace

void X11ReportSender::Disconnect::operator()(xcb_connection_t* connection) const {
  xcb_disconnect(connection);
}

std::optional<X11ReportSender> X11ReportSender::Connect(const char* displayName) {
  const char* display = displayName != nullptr ? displayName : std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return std::nullopt;
  Connection connection(xcb_connect(display, nullptr));
  if (xcb_connection_has_error(connection.get()) != 0) return std::nullopt;

  const auto nameLength = static_cast<uint16_t>(std::strlen(kReportAtomName));
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection.get(), 0, nameLength, kReportAtomName);
  const XcbOwned<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(connection.get(), cookie, nullptr));
  if (!reply) return std::nullopt;
  return X11ReportSender(std::move(connection), reply->atom);
}

bool X11ReportSender::Send(uint32_t window, uint32_t word0, uint32_t word1, uint32_t word2) {
  xcb_connection_t* connection = connection_.get();
  if (xcb_connection_has_error(connection) != 0) return false;
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = reportAtom_;
  event.data.data32[0] = word0;
  event.data.data32[1] = word1;
  event.data.data32[2] = word2;
  // No event mask: the event goes to the client that created the window. The checked
  // request makes the round trip: its answer (or the BadWindow error for a window that
  // does not exist) comes back only after the server has handled the send.
  const xcb_void_cookie_t cookie = xcb_send_event_checked(
      connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
  const XcbOwned<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
  return !error && xcb_connection_has_error(connection) == 0;
}

}  // namespace kiln::platform
