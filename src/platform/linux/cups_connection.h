#pragma once

#include <cups/cups.h>

#include <memory>

namespace kiln::platform {

struct HttpCloser {
  void operator()(http_t* http) const { httpClose(http); }
};
using CupsConnection = std::unique_ptr<http_t, HttpCloser>;

// A connection to the print server the CUPS client settings name (CUPS_SERVER,
// client.conf). The connect time and each wait for an answer are bounded, so an
// unreachable or silent server is a null within about two seconds instead of a long
// wait; no network browsing.
CupsConnection ConnectToPrintServer();

}  // namespace kiln::platform
