// The kiln program with several printers of a model on the test bed: one it cannot open
// is reported with its reason and keeps nobody from the update, the versions of every
// printer decide, and two Kilns that do not see each other's locks never flash one
// printer twice.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <utility>

#include "kiln_on_test_bed.h"
#include "sim/printer_config.h"

namespace kiln {
namespace {

using kiln::testing::JsonLines;
using kiln::testing::KilnFinished;
using kiln::testing::M07;
using nlohmann::json;
using namespace std::chrono_literals;

class SeveralPrinters : public kiln::testing::KilnOnTestBed {
 protected:
  // The silent update's --json object, with the progress on standard error.
  json SilentUpdate() {
    run_ = Run({"-S", "-M7", "--json", "--progress"});
    EXPECT_EQ(run_.status, 0);
    const std::vector<json> lines = JsonLines(run_.out);
    EXPECT_EQ(lines.size(), 1u) << run_.out;
    return lines.empty() ? json::object() : lines[0];
  }

  KilnFinished run_;
};

// A printer Kiln could not open was sent nothing: not-sent with its real reason, its serial
// and model as discovery knows them, never "did not come back after programming".
TEST_F(SeveralPrinters, APrinterThatCannotBeOpenedIsNotSentWithItsReason) {
  Start({M07().Serial("SER-A"), M07().Serial("SER-B").NoAccess()});
  Package("1.10");
  const json result = SilentUpdate();
  ASSERT_EQ(result["printers"].size(), 2u) << result.dump();
  EXPECT_EQ(result["printers"][0]["outcome"], "updated");
  const json& unopened = result["printers"][1];
  EXPECT_EQ(unopened["outcome"], "not-sent");
  EXPECT_EQ(unopened["serial"], "SER-B");
  EXPECT_EQ(unopened["model"], 7);
  const std::string text = unopened["text"];
  EXPECT_EQ(text.rfind("Printer 2 was not sent the firmware: permission denied on /dev/", 0), 0u)
      << text;
  EXPECT_EQ(text.find("come back"), std::string::npos) << text;
  EXPECT_TRUE(bed_->Printer(1).Transcript().empty());
  EXPECT_EQ(bed_->Printer(0).Version(), "1.10");
}

// The first printer, which cannot be opened, neither hides the second nor stops its update.
TEST_F(SeveralPrinters, AnUnreachableFirstPrinterLeavesTheOthersToBeUpdated) {
  Start({M07().Serial("SER-A").NoAccess(), M07().Serial("SER-B")});
  Package("1.10");
  const json result = SilentUpdate();
  EXPECT_EQ(bed_->Printer(1).Version(), "1.10") << run_.err;
  EXPECT_TRUE(bed_->Printer(0).Transcript().empty());
  EXPECT_EQ(result["reports"][1], json::parse(R"({"code":100,"value":1})"));
  EXPECT_NE(run_.err.find("kiln: warning: Printer at 1-2 could not be opened: permission denied"),
            std::string::npos)
      << run_.err;
  ASSERT_EQ(result["printers"].size(), 2u) << result.dump();
  EXPECT_EQ(result["printers"][0]["outcome"], "not-sent");
  EXPECT_EQ(result["printers"][1]["outcome"], "updated");
}

// A user who may not open the node is told which node, that permission was denied and
// what grants it, with --progress, in the JSON and in the trace.
TEST_F(SeveralPrinters, APermissionDeniedNamesTheNodeAndWhatGrantsIt) {
  Start({M07().Serial("SER-A").NoAccess()});
  Package("1.10");
  const std::string trace = dir_.File("trace.log");
  ::setenv("KILN_LOG_FILE", trace.c_str(), 1);
  ::setenv("KILN_LOG_LEVEL", "5", 1);
  const json result = SilentUpdate();
  ::unsetenv("KILN_LOG_FILE");
  ::unsetenv("KILN_LOG_LEVEL");
  EXPECT_EQ(result["reports"], json::parse(R"([{"code":100,"value":0},{"code":110,"value":0}])"));
  ASSERT_EQ(result["printers"].size(), 1u) << result.dump();
  const std::string text = result["printers"][0]["text"];
  for (const std::string& said : {run_.err, text, kiln::testing::TempDir::Read(trace)}) {
    EXPECT_NE(said.find("permission denied on /dev/"), std::string::npos) << said;
    EXPECT_NE(said.find("udev rule"), std::string::npos) << said;
    EXPECT_NE(said.find("lp group"), std::string::npos) << said;
    EXPECT_NE(said.find("log in again"), std::string::npos) << said;
  }
}

// After a stop left printer 1 on the new version and printer 2 on the old one, the next
// silent update finishes the job; a printer newer than the package is never downgraded.
TEST_F(SeveralPrinters, EveryPrinterOlderThanThePackageIsUpdatedAndNoOtherOne) {
  Start({M07().Serial("SER-A").Version("1.10"), M07().Serial("SER-B"),
         M07().Serial("SER-C").Version("1.20")});
  Package("1.10");
  const json result = SilentUpdate();
  EXPECT_EQ(result["reports"][2], json::parse(R"({"code":110,"value":11})")) << run_.err;
  ASSERT_EQ(result["printers"].size(), 3u) << result.dump();
  EXPECT_EQ(result["printers"][0]["outcome"], "current");
  EXPECT_EQ(result["printers"][1]["outcome"], "updated");
  EXPECT_EQ(result["printers"][2]["outcome"], "current");
  EXPECT_TRUE(bed_->Printer(0).Images().empty());
  EXPECT_EQ(bed_->Printer(1).Version(), "1.10");
  EXPECT_TRUE(bed_->Printer(2).Images().empty());
  EXPECT_EQ(bed_->Printer(2).Version(), "1.20");
}

// Two Kilns whose instance locks do not meet (separate lock folders) update one printer,
// the second started a moment after the first: the printer takes each package once, and
// the second Kiln writes nothing to it.
TEST_F(SeveralPrinters, TwoKilnsWithSeparateLocksFlashAPrinterOnce) {
  Start({M07().Serial("SER-A")});
  const std::string locks = locks_.path().string();
  const std::pair<const char*, std::chrono::milliseconds> rounds[] = {
      {"1.10", 0ms}, {"1.20", 30ms}, {"1.30", 80ms}, {"1.40", 150ms}};
  std::size_t images = 0;
  for (const auto& [version, apart] : rounds) {
    SCOPED_TRACE(version);
    Package(version);
    ::setenv("KILN_LOCK_DIR", (locks + "/first").c_str(), 1);
    const auto first = Launch({"-S", "-M7", "--json", "--progress"}, "first");
    std::this_thread::sleep_for(apart);
    ::setenv("KILN_LOCK_DIR", (locks + "/second").c_str(), 1);
    const auto second = Launch({"-S", "-M7", "--json", "--progress"}, "second");
    const KilnFinished one = Finish(*first, "first");
    const KilnFinished two = Finish(*second, "second");
    EXPECT_EQ(bed_->Printer(0).Images().size(), ++images) << one.err << "\n---\n" << two.err;
    // The printer is back on the package's version before the next round.
    for (int i = 0; i < 200 && bed_->Printer(0).Version() != version; ++i) {
      std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(bed_->Printer(0).Version(), version);
    // Exactly one of them wrote it.
    const auto wrote = [](const KilnFinished& run) {
      return run.out.find(R"({"code":110,"value":11})") != std::string::npos;
    };
    EXPECT_NE(wrote(one), wrote(two)) << one.out << "\n---\n" << two.out;
  }
}

// Over libusb, each way a printer fails is told as what happened: a printer that opens
// but answers nothing is not said to answer, one usblp holds names usblp, one without
// bulk endpoints is named with that reason, and the version report says why it lists a
// printer without a version.
TEST_F(SeveralPrinters, LibusbFaultsAreToldAsWhatHappened) {
  const char* shown = std::getenv("KILN_TESTBED_TRANSPORT");
  if (shown == nullptr || std::string(shown) != "usbfs") GTEST_SKIP() << "usbfs faults only";
  sim::PrinterFaults stalls;
  stalls.stallOut = sim::EndpointStall::kAlways;
  sim::PrinterFaults bound;
  bound.usblpBound = true;
  sim::PrinterFaults noBulk;
  noBulk.noBulkEndpoints = true;
  Start({M07().Serial("SER-A").Faults(stalls), M07().Serial("SER-B").Faults(bound),
         M07().Serial("SER-C").Faults(noBulk)});
  Package("1.10");
  const json result = SilentUpdate();
  EXPECT_EQ(run_.err.find("answers as model"), std::string::npos) << run_.err;
  EXPECT_NE(run_.err.find("opens as model 7 over libusb 1-2 but does not answer"),
            std::string::npos)
      << run_.err;
  EXPECT_NE(run_.err.find("Printer at 1-3 could not be opened: usblp holds its printer interface"),
            std::string::npos)
      << run_.err;
  EXPECT_NE(run_.err.find("Printer at 1-4 could not be opened: its printer interface has no bulk"),
            std::string::npos)
      << run_.err;

  const json report = JsonLines(Run({"-CheckDeviceVersion", "--json"}).out).at(0);
  ASSERT_FALSE(report["printers"].empty()) << report.dump();
  EXPECT_TRUE(report["printers"][0]["version_before"].is_null());
  EXPECT_EQ(report["printers"][0]["text"], "Printer at 1-2 did not answer.");
}

}  // namespace
}  // namespace kiln
