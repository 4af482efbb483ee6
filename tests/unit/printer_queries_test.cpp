// The short printer queries against virtual printers on the real link.
#include "app/printer_queries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/version_text.h"
#include "sim/virtual_printer.h"
#include "support/printer_builder.h"
#include "support/virtual_printer_rig.h"

namespace kiln::app {
namespace {

using kiln::testing::PrinterBuilder;
using kiln::testing::VirtualPrinterRig;

class Display final : public VersionDisplay {
 public:
  void ShowCurrentVersion(const char* text) override { shown.emplace_back(text); }
  bool IsInitialised() const override { return true; }
  std::vector<std::string> shown;
};

class Queries : public ::testing::Test {
 protected:
  sim::VirtualPrinter& Printer(uint32_t model, std::string version = "1.00",
                               std::string colour = "Standard") {
    return rig_.Add(
        PrinterBuilder(model).Version(std::move(version)).ColourMode(std::move(colour)));
  }
  PrinterQueries Make() { return PrinterQueries(printer_, &display_, rig_.Links()); }

  VirtualPrinterRig rig_;
  PrinterState printer_;
  uint32_t targetModel_ = 0;  // the model the colour-mode query asks
  bool noBusyCheck_ = false;
  Display display_;
};

TEST_F(Queries, LargeModelFoundUnderTheFallBackModel) {
  Printer(19, "0.90");
  printer_.largeModel = true;
  EXPECT_TRUE(Make().ProbeConnection(25));
  EXPECT_EQ(printer_.connectedModel, 19u);
  EXPECT_EQ(printer_.deviceVersion, "0.90");
  EXPECT_EQ(display_.shown, (std::vector<std::string>{"0.90"}));
}

TEST_F(Queries, NoPrinterShowsNotAvailable) {
  EXPECT_FALSE(Make().ProbeConnection(7));
  EXPECT_EQ(printer_.connectedModel, 0u);
  EXPECT_EQ(display_.shown, (std::vector<std::string>{"N/A"}));
  EXPECT_TRUE(rig_.clock.Pauses().empty()) << "a failed open costs no pause";
}

TEST_F(Queries, RevisionComparesOnItsFirstFourCharacters) {
  Printer(7, "1.07a");
  ASSERT_TRUE(Make().ProbeConnection(7));
  EXPECT_EQ(printer_.deviceVersion, "1.07a");
  EXPECT_FALSE(PackageOlderThanDevice("1.07", printer_.deviceVersion));
  EXPECT_TRUE(PackageOlderThanDevice("1.06", printer_.deviceVersion));
  // Each query opened its own channel and paused 300 ms after opening it.
  EXPECT_EQ(rig_.clock.Pauses(), (std::vector<uint32_t>{300, 300}));
}

TEST_F(Queries, EmptyRevisionIsNotAvailable) {
  Printer(7, "");
  printer_.connectedModel = 7;
  EXPECT_FALSE(Make().QueryDeviceVersion());
  EXPECT_EQ(printer_.deviceVersion, "N/A");
}

TEST_F(Queries, ColourMode) {
  Printer(7, "1.00", "Vivid");
  targetModel_ = 7;
  ColourModeText text;
  EXPECT_TRUE(Make().QueryColourMode(targetModel_, noBusyCheck_, &text));
  EXPECT_EQ(text, "Vivid");
}

TEST_F(Queries, EmptyColourModeIsNotAvailable) {
  Printer(7, "1.00", "");
  targetModel_ = 7;
  ColourModeText text;
  EXPECT_FALSE(Make().QueryColourMode(targetModel_, noBusyCheck_, &text));
  EXPECT_EQ(text, "N/A");

  targetModel_ = 9;  // nothing of that model connected
  EXPECT_FALSE(Make().QueryColourMode(targetModel_, noBusyCheck_, &text));
  EXPECT_EQ(text, "N/A");
}

TEST_F(Queries, ColourModeWaitsWhileThePrinterIsBusy) {
  rig_.Add(PrinterBuilder(7).BusyPolls(2));
  targetModel_ = 7;
  EXPECT_TRUE(Make().QueryColourMode(targetModel_, noBusyCheck_, nullptr));
  EXPECT_EQ(rig_.clock.Pauses(), (std::vector<uint32_t>{300, 500, 500}));
}

TEST_F(Queries, ColourModeGivesUpOnAPrinterThatStaysBusy) {
  sim::VirtualPrinter& printer = rig_.Add(PrinterBuilder(7).BusyForever());
  targetModel_ = 7;
  ColourModeText text = "stale";
  EXPECT_FALSE(Make().QueryColourMode(targetModel_, noBusyCheck_, &text));
  EXPECT_EQ(text, "N/A");

  // Polled every 500 ms until the limit was reached, then no further pause.
  std::vector<uint32_t> pauses = rig_.clock.Pauses();
  ASSERT_FALSE(pauses.empty());
  EXPECT_EQ(pauses.front(), 300u);
  pauses.erase(pauses.begin());
  EXPECT_EQ(pauses, std::vector<uint32_t>(kColourModeBusyLimitMs / 500, 500));
  // The colour mode itself was never asked.
  for (const sim::PacketRecord& packet : printer.Transcript()) EXPECT_NE(packet.command, 0x8008);
}

}  // namespace
}  // namespace kiln::app
