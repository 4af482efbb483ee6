#include "platform/installed_printers.h"

#include <strings.h>

#include "platform/linux/cups_connection.h"

namespace kiln::platform {

namespace {

class CupsInstalledPrinters final : public InstalledPrinters {
 public:
  uint32_t CountInstalledPrinters(const char* driverName) override {
    if (driverName == nullptr) return 0;
    // An explicit connection keeps the question to the configured server: no network
    // browsing, and an unreachable server is a quick 0.
    CupsConnection http = ConnectToPrintServer();
    if (!http) return 0;
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
