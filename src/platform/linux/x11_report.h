#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

// The opaque xcb connection.
struct xcb_connection_t;

namespace kiln::platform {

// The message type of report messages: an atom of this name.
inline constexpr const char* kReportAtomName = "KILN_REPORT";

// A connection to the X display through which report messages reach a window of another
// program: a ClientMessage of format 32 whose message type is the KILN_REPORT atom and
// whose first three data words are the caller's. Each send waits until the X server has
// handled it, so the receiver has the message before the sender's next step starts, as
// with a synchronous window message.
class X11ReportSender {
 public:
  // Connects to displayName (nullptr: $DISPLAY). Empty when there is no display.
  static std::optional<X11ReportSender> Connect(const char* displayName = nullptr);

  // Sends {word0, word1, word2} to window. False, and nothing else happens, when the
  // window does not exist or the connection is broken.
  bool Send(uint32_t window, uint32_t word0, uint32_t word1, uint32_t word2);

 private:
  struct Disconnect {
    void operator()(xcb_connection_t* connection) const;
  };
  using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

  X11ReportSender(Connection connection, uint32_t reportAtom)
      : connection_(std::move(connection)), reportAtom_(reportAtom) {}

  Connection connection_;
  uint32_t reportAtom_;
};

}  // namespace kiln::platform
