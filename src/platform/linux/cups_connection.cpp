#include "platform/linux/cups_connection.h"

namespace kiln::platform {

namespace {

// How long a connection attempt to the server, and then each wait for one of its
// answers, may take before the server counts as unreachable. The driver check runs on
// the window's thread: a server that takes the connection and never answers would
// otherwise hold the window for minutes.
constexpr int kConnectTimeoutMs = 2000;
constexpr double kAnswerTimeoutSeconds = 1.0;

// Whether the server answers a request for its default destination (an answer that
// there is none counts too).
bool ServerAnswers(http_t* http) {
  ipp_t* answer = cupsDoRequest(http, ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/");
  if (answer == nullptr) return false;
  ippDelete(answer);
  return true;
}

}  // namespace

CupsConnection ConnectToPrintServer() {
  CupsConnection http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                   kConnectTimeoutMs, nullptr));
  if (!http) return http;
  // A wait that runs out ends the request instead of waiting again. A caller's work may
  // take several requests, each allowed that wait: one small request first tells
  // whether the server answers at all.
  httpSetTimeout(
      http.get(), kAnswerTimeoutSeconds, [](http_t*, void*) { return 0; }, nullptr);
  if (!ServerAnswers(http.get())) http.reset();
  return http;
}

}  // namespace kiln::platform
