#include "platform/installed_printers.h"

#include <cups/cups.h>
#include <strings.h>

#include <memory>

namespace kiln::platform {

namespace {

// How long a connection attempt to the server, and then each wait for its answer, may
// take before the list counts as unreadable. The check runs on the window's thread: a
// server that takes the connection and never answers would otherwise hold the window
// for minutes.
constexpr int kConnectTimeoutMs = 2000;
constexpr double kAnswerTimeoutSeconds = 1.0;

struct HttpCloser {
  void operator()(http_t* http) const { httpClose(http); }
};

// Whether the server answers a request for its default destination (an answer that
// there is none counts too).
bool ServerAnswers(http_t* http) {
  ipp_t* answer = cupsDoRequest(http, ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/");
  if (answer == nullptr) return false;
  ippDelete(answer);
  return true;
}

class CupsInstalledPrinters final : public InstalledPrinters {
 public:
  uint32_t CountInstalledPrinters(const char* driverName) override {
    if (driverName == nullptr) return 0;
    // An explicit connection keeps the question to the configured server: no network
    // browsing, and an unreachable server is a quick 0.
    std::unique_ptr<http_t, HttpCloser> http(httpConnect2(cupsServer(), ippPort(), nullptr,
                                                          AF_UNSPEC, cupsEncryption(), 1,
                                                          kConnectTimeoutMs, nullptr));
    if (!http) return 0;
    // A wait that runs out ends the request instead of waiting again. The listing makes
    // several requests, each allowed that wait: one small request first tells whether
    // the server answers at all.
    httpSetTimeout(
        http.get(), kAnswerTimeoutSeconds, [](http_t*, void*) { return 0; }, nullptr);
    if (!ServerAnswers(http.get())) return 0;
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http.get(), &dests);
    uint32_t matching = 0;
    for (int i = 0; i < count; ++i) {
      // Instances are the user's option sets on one queue, not printers of their own.
      if (dests[i].instance != nullptr) continue;
      const char* makeAndModel =
          cupsGetOption("printer-make-and-model", dests[i].num_options, dests[i].options);
      if (makeAndModel != nullptr && strcasecmp(makeAndModel, driverName) == 0) ++matching;
    }
    cupsFreeDests(count, dests);
    return matching;
  }
};

}  // namespace

InstalledPrinters& SystemInstalledPrinters() {
  static CupsInstalledPrinters printers;
  return printers;
}

}  // namespace kiln::platform
