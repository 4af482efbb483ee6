#pragma once

#include <cups/cups.h>

#include <memory>

namespace kiln::platform {

struct HttpCloser {
  void operator()(http_t* http) const { httpClose(http); }
};
using CupsConnection = std::unique_ptr<http_t, HttpCloser>;

// A connection to the print server the CUPS client settings name (CUPS_SERVER,
// client.conf). The connect time is bounded, so an unreachable server is a quick null
// instead of a long wait; no network browsing.
CupsConnection ConnectToPrintServer();

}  // namespace kiln::platform
