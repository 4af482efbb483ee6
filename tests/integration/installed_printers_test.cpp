// The installed-driver check against a real CUPS server: a private cupsd started by the
// test on a unix socket in a temporary folder, with queues made by lpadmin.

#include "platform/installed_printers.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kiln::platform
