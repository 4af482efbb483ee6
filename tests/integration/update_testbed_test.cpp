// Whole updates and printer queries on the umockdev test bed: virtual printers behind
// /dev/usb/lpN, found through udev, updated through their nodes, restarting with real
// remove and add uevents. Pauses run on the system clock, scaled down.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "app/printer_queries.h"
#include "protocol/download_observer.h"
#include "sim/testbed/test_bed.h"
#include "update_on_test_bed.h"

namespace kiln {
namespace {

using kiln::testing::PrinterBuilder;
using kiln::testing::UpdateOnTestBed;

TEST_F(UpdateOnTestBed, OneM07RestartsWithTheNewVersion) {
  Start({PrinterBuilder(7).Serial("A")});
  const std::string firstNode = bed_->NodeName(0);
  ASSERT_TRUE(Update(7, 7, Package(7)));
  sim::VirtualPrinter& printer = bed_->Printer(0);
  EXPECT_EQ(printer.Version(), "2.00");
  EXPECT_EQ(printer.Arrivals(), 2u);
  EXPECT_NE(bed_->NodeName(0), firstNode) << "it came back as a new node";
  EXPECT_FALSE(bed_->NodeName(0).empty());
  ASSERT_EQ(printer.Images().size(), 1u);
  EXPECT_EQ(printer.Images()[0].bytes.size(), 0x30000u);
  ASSERT_EQ(recorder_.Countdown().size(), 10u);
  EXPECT_EQ(recorder_.Countdown().front(), 8u);
  EXPECT_EQ(recorder_.Countdown().back(), DownloadObserver::kCountdownDone);
  EXPECT_TRUE(recorder_.PrinterErrors().empty());
  EXPECT_EQ(printer.Transcript().back().command, 0x0301);
}

TEST_F(UpdateOnTestBed, TwoM07PrintersAreBothUpdated) {
  Start({PrinterBuilder(7).Serial("A"), PrinterBuilder(7).Serial("B")});
  ASSERT_TRUE(Update(7, 7, Package(7)));
  EXPECT_EQ(bed_->Printer(0).Version(), "2.00");
  EXPECT_EQ(bed_->Printer(1).Version(), "2.00");
}

TEST_F(UpdateOnTestBed, M25ReceivesTheThreeFiles) {
  Start({PrinterBuilder(25).Serial("L")});
  codePath_ = dir_.Write("code.bin", std::string(0x12000, 'c'));
  tablePath_ = dir_.Write("table.bin", std::string(0x800, 't'));
  ASSERT_TRUE(Update(25, 25, Package(25)));
  sim::VirtualPrinter& printer = bed_->Printer(0);
  const auto files = printer.Files();
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].bytes.size(), 0x12000u);
  EXPECT_EQ(files[1].bytes.size(), 0x800u);
  EXPECT_EQ(files[2].kind, 2);
  EXPECT_EQ(printer.RegisterPackets().size(), 5u);
  EXPECT_EQ(printer.Version(), "2.00");
}

TEST_F(UpdateOnTestBed, PrinterBackUnderAnotherProductIdIsFoundAsTheReopenModel) {
  Start({PrinterBuilder(7).Serial("A").ReturnsAs(sim::ProductIdOfModel(9))});
  ASSERT_TRUE(Update(7, 9, Package(7)));
  EXPECT_EQ(bed_->Printer(0).ProductId(), sim::ProductIdOfModel(9));
  EXPECT_EQ(bed_->Printer(0).Transcript().back().command, 0x0301);
}

class Display final : public app::VersionDisplay {
 public:
  void ShowCurrentVersion(const char* text) override { shown.emplace_back(text); }
  bool IsInitialised() const override { return true; }
  std::vector<std::string> shown;
};

TEST_F(UpdateOnTestBed, QueriesFindTheFallBackModelAndReadTheRevision) {
  Start({PrinterBuilder(19).Serial("O").Version("1.07a")});
  Display display;
  app::PrinterState printer;
  app::PrinterQueries queries(printer, &display);
  printer.largeModel = true;
  EXPECT_TRUE(queries.ProbeConnection(25));
  EXPECT_EQ(printer.connectedModel, 19u);
  EXPECT_EQ(printer.deviceVersion, "1.07a");

  EXPECT_FALSE(queries.ProbeConnection(7)) << "no printer of model 7";
  EXPECT_EQ(printer.connectedModel, 0u);
  EXPECT_EQ(display.shown.back(), "N/A");
}

TEST_F(UpdateOnTestBed, CalibrationBlockLostInProgrammingFailsThePrinter) {
  Start({PrinterBuilder(13)
             .Serial("C")
             .DeviceBlock(sim::MakeDeviceBlock(0x200))
             .BlockDamage(sim::BlockDamage::kLost)});
  EXPECT_FALSE(Update(13, 13, Package(13)));
  EXPECT_EQ(bed_->Printer(0).Version(), "2.00");
  EXPECT_NE(result_.text.view().find("Printer 1 lost its calibration block"),
            std::string_view::npos)
      << result_.text.c_str();
}

}  // namespace
}  // namespace kiln
