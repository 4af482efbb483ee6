// The installed-driver check against a real CUPS server: a private cupsd started by the
// test on a unix socket in a temporary folder, with queues made by lpadmin.

#include "platform/installed_printers.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "support/private_cupsd.h"

namespace kiln::platform {
namespace {

using testing::PrivateCupsd;

constexpr const char* kDriver = "Orvix Photo Printer T08";

class InstalledPrintersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::CupsdAvailable()) {
      GTEST_SKIP() << "cupsd or lpadmin is not installed (scripts/deps installs cups-daemon "
                      "and cups-client)";
    }
    ASSERT_TRUE(cupsd_.Start()) << "the private cupsd did not come up";
    ASSERT_TRUE(cupsd_.AddQueue("Photo1", kDriver));
    ASSERT_TRUE(cupsd_.AddQueue("Photo2", kDriver));
    ASSERT_TRUE(cupsd_.AddQueue("Other", "Orvix Photo Printer T09"));
  }

  PrivateCupsd cupsd_;
};

TEST_F(InstalledPrintersTest, QueuesAreCountedByTheirDriverWithoutRegardToCase) {
  InstalledPrinters& printers = SystemInstalledPrinters();
  EXPECT_EQ(printers.CountInstalledPrinters(kDriver), 2u);
  EXPECT_EQ(printers.CountInstalledPrinters("ORVIX photo PRINTER t08"), 2u);
  EXPECT_EQ(printers.CountInstalledPrinters("Orvix Photo Printer T09"), 1u);
  EXPECT_EQ(printers.CountInstalledPrinters("Orvix Photo Printer T10"), 0u);
  EXPECT_EQ(printers.CountInstalledPrinters(""), 0u);

  cupsd_.Stop();
  EXPECT_EQ(printers.CountInstalledPrinters(kDriver), 0u) << "no server, no printers";
}

// A server that takes the connection and never answers: the check gives up within a
// few seconds rather than holding the window for minutes.
TEST(InstalledPrintersSilentServer, GivesUpWithinAFewSeconds) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string server = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  ::setenv("CUPS_SERVER", server.c_str(), 1);
  cupsSetServer(nullptr);  // read CUPS_SERVER again

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SystemInstalledPrinters().CountInstalledPrinters(kDriver), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ::unsetenv("CUPS_SERVER");
  cupsSetServer(nullptr);
  ::close(listener);
}

}  // namespace
}  // namespace kiln::platform
