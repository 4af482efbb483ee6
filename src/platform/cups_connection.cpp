#include "platform/cups_connection.h"

namespace kiln::platform {

namespace {

// How long a connection attempt to the server may take before it counts as unreachable.
constexpr int kConnectTimeoutMs = 3000;

}  // namespace

CupsConnection ConnectToPrintServer() {
  return CupsConnection(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(),
                                     1, kConnectTimeoutMs, nullptr));
}

}  // namespace kiln::platform
