// Whole updates of one model-7 printer on the umockdev test bed, one for each misbehaviour
// the virtual printer can show: what FlashFirmware returns and says, what the observer was
// told, what reached the printer, and that the update ended within the time its pauses
// and transfer time-outs allow.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <future>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "protocol/command_codes.h"
#include "protocol/prn_cmd.h"
#include "sim/testbed/test_bed.h"
#include "support/child_process.h"
#include "update_on_test_bed.h"

namespace kiln {
namespace {

using namespace std::chrono_literals;
using kiln::testing::PrinterBuilder;
using sim::CommandMatch;

constexpr uint32_t kModel = 7;
constexpr uint32_t kOtherModel = 9;
constexpr double kTimeScale = 0.01;  // KILN_TIME_SCALE of UpdateOnTestBed
// Kiln tries 30 times to reach a printer before it gives up on it.
constexpr uint32_t kTries = 30;
constexpr uint32_t kImageSize = 0x30000;  // UpdateOnTestBed::Package
constexpr const char* kStillOnItsOldVersion =
    "Printer 1 reports version 1.00 after programming, not 2.00.";

// What reached the printer.
enum class Received {
  kNothing,       // not one packet
  kProbesOnly,    // status requests (0x0400) and nothing else
  kNoImageData,   // a start of write, but no firmware data
  kPartialImage,  // some firmware data, never the end of write
  kWholeImage,    // the whole image, closed by the end of write
};

// The count-down the observer saw: none, or every second of it and the end mark.
enum class Countdown { kNone, kFull };

struct FaultRow {
  const char* name;
  sim::PrinterFaults faults;
  bool updated;
  const char* resultText;  // a part of resultText; "" when it stays empty
  Received received;
  Countdown countdown;
  std::vector<uint32_t> errorsNotified;
  const char* versionAfter;  // the printer's firmware revision afterwards; nullptr: unchecked
  // Time the faults may cost on top of the scaled pauses: transfer time-outs, and busy
  // waits that run to their limit.
  uint32_t timeOuts = 0;
  uint32_t busyLimits = 0;
  uint32_t reopenModel = kModel;
};

// The row's name stands for it in test names and messages.
void PrintTo(const FaultRow& row, std::ostream* out) {
  *out << row.name;
}

// The longest an update may take: every transfer time-out at the scaled floor, every busy
// wait at its scaled limit, plus the scaled pauses of the two 30-try loops (300 ms after
// each open, 1000 ms between tries), the count-down and the printer's programming and
// restart, with room for a loaded machine.
std::chrono::milliseconds Bound(const FaultRow& row) {
  const double pausesMs =
      (2 * kTries * (300 + 1000) + (kiln::testing::kUpdateWaitSeconds + 3) * 1000 + 3000 + 2000) *
      kTimeScale;
  const double faultMs = row.timeOuts * double{platform::kMinScaledTransferTimeOutMs} +
                         row.busyLimits * protocol::kWaitBusyLimitMs * kTimeScale;
  return std::chrono::milliseconds(static_cast<int64_t>(pausesMs + faultMs)) + 5s;
}

// The faults a row injects, set on a fault-free printer.
template <typename Set>
sim::PrinterFaults With(Set set) {
  sim::PrinterFaults faults;
  set(faults);
  return faults;
}

// clang-format off
const FaultRow kRows[] = {
    {"NeverAnswers", With([](auto& f) { f.silentFromPacket = 1; }), false,
     "Printer 1 was not sent the firmware: it did not answer.", Received::kProbesOnly, Countdown::kNone, {}, "1.00", kTries},
    {"SilentFromTheStartOfWrite", With([](auto& f) { f.silentFromPacket = 2; }), false,
     "Printer 1 did not take the firmware.", Received::kNoImageData, Countdown::kNone, {}, "1.00", 1},
    // The printer takes the whole image and programs it without answering the end of
    // write: Kiln still waits for it, and its state after the restart decides.
    {"SilentForTheEndOfWrite", With([](auto& f) { f.silent = CommandMatch::Code(0x8401); }), true,
     "", Received::kWholeImage, Countdown::kFull, {}, "2.00", 1},
    {"ShortAnswerToTheStartOfWrite", With([](auto& f) { f.shortAnswer = CommandMatch::Code(0x8400); }), false,
     "Printer 1 did not take the firmware.", Received::kNoImageData, Countdown::kNone, {}, "1.00", 1},
    {"BadFirstByteOfEveryStatus", With([](auto& f) { f.badFirstByte = CommandMatch::Code(0x0400); }), false,
     "Printer 1 was not sent the firmware: it did not answer.", Received::kProbesOnly, Countdown::kNone, {}, "1.00", kTries},
    {"BusyForFortyPolls", With([](auto& f) { f.busyPolls = 40; }), true,
     "", Received::kWholeImage, Countdown::kFull, {}, "2.00"},
    {"BusyForever", With([](auto& f) { f.busyForever = true; }), false,
     "Printer 1: its state could not be read", Received::kWholeImage, Countdown::kFull, {}, "2.00", 0, 2},
    // Each alert detail, reported when programming ends; 0x0403 keeps only bits 0x80FF.
    {"Alert0403AfterProgramming", With([](auto& f) { f.errorAfterProgramming = sim::AlertForDetail(0x0403, 0x00058030); }), false,
     "Printer 1 reported error 0x00008030", Received::kWholeImage, Countdown::kFull, {0x8030}, "1.00"},
    {"Alert0405AfterProgramming", With([](auto& f) { f.errorAfterProgramming = sim::AlertForDetail(0x0405, 0x00040101); }), false,
     "Printer 1 reported error 0x00040101", Received::kWholeImage, Countdown::kFull, {0x40101}, "1.00"},
    {"Alert0406AfterProgramming", With([](auto& f) { f.errorAfterProgramming = sim::AlertForDetail(0x0406, 0x00060201); }), false,
     "Printer 1 reported error 0x00060201", Received::kWholeImage, Countdown::kFull, {0x60201}, "1.00"},
    {"Alert0407AfterProgramming", With([](auto& f) { f.errorAfterProgramming = sim::AlertForDetail(0x0407, 0x00030105); }), false,
     "Printer 1 reported error 0x00030105", Received::kWholeImage, Countdown::kFull, {0x30105}, "1.00"},
    {"Alert0408AfterProgramming", With([](auto& f) { f.errorAfterProgramming = sim::AlertForDetail(0x0408, 0x00070001); }), false,
     "Printer 1 reported error 0x00070001", Received::kWholeImage, Countdown::kFull, {0x70001}, "1.00"},
    {"Alert040AAfterProgramming", With([](auto& f) { f.errorAfterProgramming = sim::AlertForDetail(0x040A, 0x00090001); }), false,
     "Printer 1 reported error 0x00090001", Received::kWholeImage, Countdown::kFull, {0x90001}, "1.00"},
    // An alert shown before the update is cleared by the restart after programming.
    {"AlertBeforeTheUpdate", With([](auto& f) { f.alert = sim::AlertForDetail(0x0405, 0x00040101); }), true,
     "", Received::kWholeImage, Countdown::kFull, {}, "2.00"},
    {"ChecksumErrorAfterProgramming", With([](auto& f) { f.errorAfterProgramming = sim::AlertForDetail(0x0406, 0x00030302); }), false,
     "Printer 1 reported checksum error 0x00030302 after the download.", Received::kWholeImage, Countdown::kNone, {0x00030302}, "1.00"},
    {"UnpluggedInTheTransfer", With([](auto& f) { f.leaveAfterDataBytes = 0x8000; }), false,
     "Printer 1 did not take the firmware.", Received::kPartialImage, Countdown::kNone, {}, "1.00", 1},
    // The printer leaves late in the image, or after its last byte, and comes back on
    // its old firmware: the pipe took every byte, its end went unanswered, and only the
    // version it reports shows that it was not updated. Late in the image, the printer
    // leaves when the host waits for the end's answer, so the host's last data cannot
    // come after the departure however the threads are scheduled.
    {"LeavesAt95PercentOfTheImage", With([](auto& f) { f.leaveAfterDataBytes = kImageSize * 95 / 100; f.leaveWhenAnswerAwaited = true; }), false,
     kStillOnItsOldVersion, Received::kPartialImage, Countdown::kFull, {}, "1.00", 1},
    {"LeavesAtTheEndOfTheImage", With([](auto& f) { f.leaveAfterDataBytes = kImageSize; }), false,
     kStillOnItsOldVersion, Received::kPartialImage, Countdown::kFull, {}, "1.00", 1},
    // A code at or below the transaction results is no printer error, but the printer did
    // not restart into the new firmware.
    {"Error50AfterProgramming", With([](auto& f) { f.errorAfterProgramming = sim::AlertForDetail(0x0405, 0x50); }), false,
     kStillOnItsOldVersion, Received::kWholeImage, Countdown::kFull, {}, "1.00"},
    {"UnpluggedInTheTransferForGood", With([](auto& f) { f.neverReturn = true; f.leaveAfterDataBytes = 0x8000; }), false,
     "Printer 1 did not take the firmware.", Received::kPartialImage, Countdown::kNone, {}, "1.00", 1},
    {"NeverReturns", With([](auto& f) { f.neverReturn = true; }), false,
     "Printer 1 did not come back after programming.", Received::kWholeImage, Countdown::kFull, {}, "1.00"},
    {"ReturnsUnderAnotherProductId", With([](auto& f) { f.returnProductId = sim::ProductIdOfModel(kOtherModel); }), false,
     "Printer 1 did not come back after programming.", Received::kWholeImage, Countdown::kFull, {}, "2.00"},
    {"ReturnsUnderTheProductIdAskedFor", With([](auto& f) { f.returnProductId = sim::ProductIdOfModel(kOtherModel); }), true,
     "", Received::kWholeImage, Countdown::kFull, {}, "2.00", 0, 0, kOtherModel},
    {"OpenRefused", With([](auto& f) { f.openRefused = true; }), false,
     "Printer 1 was not sent the firmware: ", Received::kNothing, Countdown::kNone, {}, "1.00"},
};
// clang-format on

bool Has(const std::vector<sim::PacketRecord>& transcript, uint16_t command) {
  return std::any_of(transcript.begin(), transcript.end(),
                     [command](const auto& packet) { return packet.command == command; });
}

void ExpectReceived(sim::VirtualPrinter& printer, Received received) {
  const auto transcript = printer.Transcript();
  const bool data = Has(transcript, protocol::cmd::kFirmwareData);
  const bool ended = Has(transcript, protocol::cmd::kWriteEnd);
  switch (received) {
    case Received::kNothing:
      EXPECT_TRUE(transcript.empty());
      break;
    case Received::kProbesOnly:
      EXPECT_EQ(transcript.size(), kTries) << "one status request per try";
      for (const auto& packet : transcript) {
        EXPECT_EQ(packet.command, protocol::cmd::kStatusSummary);
      }
      break;
    case Received::kNoImageData:
      EXPECT_TRUE(Has(transcript, protocol::cmd::kWriteStart));
      EXPECT_FALSE(data || ended) << "no firmware after an unanswered start of write";
      break;
    case Received::kPartialImage:
      EXPECT_TRUE(data);
      EXPECT_FALSE(ended) << "a cut transfer is never closed";
      break;
    case Received::kWholeImage:
      EXPECT_TRUE(ended);
      break;
  }
  const auto images = printer.Images();
  if (received == Received::kWholeImage) {
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].bytes.size(), kImageSize);
  } else {
    EXPECT_TRUE(images.empty());
  }
}

class FaultMatrix : public kiln::testing::UpdateOnTestBed,
                    public ::testing::WithParamInterface<FaultRow> {};

TEST_P(FaultMatrix, UpdateEndsAsExpected) {
  const FaultRow& row = GetParam();
  Start({PrinterBuilder(kModel).Serial("F").Faults(row.faults)});
  const auto start = std::chrono::steady_clock::now();
  const bool updated = Update(kModel, row.reopenModel, Package(kModel));
  const auto took = std::chrono::steady_clock::now() - start;

  EXPECT_EQ(updated, row.updated);
  if (*row.resultText == '\0') {
    EXPECT_TRUE(result_.text.empty()) << result_.text.c_str();
  } else {
    EXPECT_NE(result_.text.view().find(row.resultText), std::string_view::npos)
        << result_.text.c_str();
  }
  if (row.countdown == Countdown::kNone) {
    EXPECT_TRUE(recorder_.Countdown().empty());
  } else {
    std::vector<uint32_t> full;
    for (uint32_t left = kiln::testing::kUpdateWaitSeconds + 1; left-- > 0;) full.push_back(left);
    full.push_back(DownloadObserver::kCountdownDone);
    EXPECT_EQ(recorder_.Countdown(), full);
  }
  EXPECT_EQ(recorder_.PrinterErrors(), row.errorsNotified);
  sim::VirtualPrinter& printer = bed_->Printer(0);
  ExpectReceived(printer, row.received);
  EXPECT_EQ(printer.ProgrammingRuns(), row.received == Received::kWholeImage ? 1u : 0u);
  if (row.versionAfter != nullptr) {
    EXPECT_EQ(printer.Version(), row.versionAfter);
  }
  EXPECT_LE(took, Bound(row)) << "took "
                              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
                              << " ms";
}

INSTANTIATE_TEST_SUITE_P(EveryFault, FaultMatrix, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

// Another program holds the printer's I/O right when the update starts: Kiln waits for it
// and sends nothing until the right is given back, then updates the printer.
class TwoPrograms : public kiln::testing::UpdateOnTestBed {};

TEST_F(TwoPrograms, UpdateWaitsWhileAnotherProgramHoldsThePrinter) {
  constexpr auto kHold = 1500ms;
  Start({PrinterBuilder(kModel).Serial("F")});
  const std::string package = Package(kModel);
  const std::string journal = dir_.File("journal.txt");
  kiln::testing::ChildProcess other(
      {KILN_LINK_WORKER, "hold", bed_->NodeName(0), journal, std::to_string(kHold.count())});
  for (int i = 0; i < 2000 && kiln::testing::TempDir::Read(journal).empty(); ++i) {
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_FALSE(kiln::testing::TempDir::Read(journal).empty()) << "the other program never held it";

  auto update = std::async(std::launch::async, [&] { return Update(kModel, kModel, package); });
  std::this_thread::sleep_for(kHold / 2);
  EXPECT_TRUE(bed_->Printer(0).Transcript().empty()) << "sent while the other program held it";
  ASSERT_EQ(update.wait_for(30s), std::future_status::ready) << "still waiting";
  EXPECT_TRUE(update.get()) << result_.text.c_str();
  EXPECT_EQ(other.WaitFor(10s), 0);
  EXPECT_NE(kiln::testing::TempDir::Read(journal).find("end"), std::string::npos);
  EXPECT_EQ(bed_->Printer(0).Version(), "2.00");
  EXPECT_EQ(recorder_.Countdown().size(), kiln::testing::kUpdateWaitSeconds + 2u);
}

}  // namespace
}  // namespace kiln
