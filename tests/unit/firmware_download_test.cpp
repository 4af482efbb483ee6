// Whole updates against virtual printers in this process, on the real link, with the
// fake clock: what each printer received, the notifications, and the pauses.
#include "protocol/firmware_download.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/firmware_package.h"
#include "protocol/command_codes.h"
#include "protocol/download_observer.h"
#include "sim/virtual_printer.h"
#include "support/command_count.h"
#include "support/download_recorder.h"
#include "support/package_builder.h"
#include "support/printer_builder.h"
#include "support/temp_dir.h"
#include "support/virtual_printer_rig.h"

namespace kiln::protocol {
namespace {

using kiln::testing::CountOf;
using kiln::testing::MakePackage;
using kiln::testing::PrinterBuilder;
using kiln::testing::TempDir;
using kiln::testing::VirtualPrinterRig;

using Recorder = kiln::testing::DownloadRecorder;
using kiln::testing::Notification;

// The print queue holds the download asked for: the printer each was for, what that
// printer had been sent by then, and what it had been sent when the hold ended.
struct QueueHoldLog {
  struct Hold {
    platform::QueuePrinter printer;
    std::size_t imagesBefore = 0;
    std::optional<std::size_t> commandsAtRelease;
  };
  std::vector<Hold> holds;
  std::string warning;  // every hold's warning
  bool releaseFails = false;
};

std::vector<uint16_t> Commands(const sim::VirtualPrinter& printer) {
  std::vector<uint16_t> codes;
  for (const auto& record : printer.Transcript()) codes.push_back(record.command);
  return codes;
}

class Flash : public ::testing::Test {
 protected:
  // A package for model's product ID, programmed in 3 seconds, version "2.00".
  std::string Package(uint32_t model, std::size_t size = 0x20000) {
    const uint16_t pid = sim::ProductIdOfModel(model);
    return dir_.Write("fw" + std::to_string(model) + ".bin",
                      MakePackage(size, config::kHeaderOffsetMain, pid, 3, 3, "2.00"));
  }
  sim::VirtualPrinter& Printer(uint32_t model, std::vector<uint8_t> block = {}) {
    sim::VirtualPrinterConfig config;
    config.model = model;
    config.serialNumber = "SN" + std::to_string(rig_.clock.NowMs()) + "-" + std::to_string(model) +
                          "-" + std::to_string(++added_);
    config.deviceBlock = std::move(block);
    return rig_.Add(config);
  }
  bool Run(uint32_t model, const std::string& image, uint16_t seconds = 10,
           const char* table = nullptr, bool waitForRestart = true, uint8_t writeType = 0) {
    FlashRequest request;
    request.openModel = model;
    request.reopenModel = model;
    request.targetModel = model;
    request.connectedModel = model;
    request.largeModel = model >= 19;
    request.driverName = options_.driverName;
    request.image = config::LoadFile(image);
    if (table != nullptr) request.colourTable = config::LoadFile(table);
    request.code = config::LoadFile(options_.codePath);
    request.table = config::LoadFile(options_.tablePath);
    request.writeType = writeType;
    request.waitSeconds = seconds;
    request.waitForRestart = waitForRestart;
    request.noWaitBurnOk = options_.noWaitBurnOk;
    request.showCountdown = !options_.silent;
    request.noWaitBusyBeforeWrite = options_.noWaitBusyBeforeWrite;
    request.expectedVersion = options_.expectedVersion;
    request.facts = ModelFactsFor(request);
    result_ =
        FirmwareDownload(rig_.Links(), FakeQueues(), stop_).FlashFirmware(request, &recorder_);
    return result_.flashed;
  }
  QueueHolder FakeQueues() {
    class Held final : public HeldQueues {
     public:
      Held(Flash& test, std::size_t index) : test_(test), index_(index) {}
      std::string Warning() const override { return test_.queues_.warning; }
      bool Release() override {
        auto& hold = test_.queues_.holds[index_];
        hold.commandsAtRelease = test_.PrinterAt(hold.printer.nodePath).Transcript().size();
        return !test_.queues_.releaseFails;
      }

     private:
      Flash& test_;
      std::size_t index_;
    };
    return [this](const platform::QueuePrinter& printer) {
      queues_.holds.push_back({printer, PrinterAt(printer.nodePath).Images().size(), {}});
      return std::make_unique<Held>(*this, queues_.holds.size() - 1);
    };
  }
  // The rig names its printers' nodes /dev/usb/lp0, lp1, ... in the order they were added.
  sim::VirtualPrinter& PrinterAt(const std::string& node) {
    return rig_.Printer(std::stoul(node.substr(std::string("/dev/usb/lp").size())));
  }
  void LargeModelFiles() {
    options_.codePath = dir_.Write("code.bin", std::string(0x100, 'c'));
    options_.tablePath = dir_.Write("table.bin", std::string(0x80, 't'));
  }

  template <typename SetFaults>
  sim::VirtualPrinter& Faulty(uint32_t model, const char* serial, SetFaults setFaults) {
    sim::VirtualPrinterConfig config;
    config.model = model;
    config.serialNumber = serial;
    setFaults(config.faults);
    return rig_.Add(config);
  }
  std::vector<Notification> Errors() const {
    std::vector<Notification> errors;
    for (const auto& n : recorder_.seen) {
      if (n.kind == DownloadObserver::kPrinterError) errors.push_back(n);
    }
    return errors;
  }
  bool ResultSays(std::string_view words) const {
    return result_.text.view().find(words) != std::string_view::npos;
  }

  int added_ = 0;
  TempDir dir_;
  VirtualPrinterRig rig_;
  // What the update's configuration says for the download.
  struct Options {
    bool noWaitBurnOk = false;
    bool silent = false;
    bool noWaitBusyBeforeWrite = false;
    std::string driverName, codePath, tablePath, expectedVersion;
  } options_;
  FlashResult result_;
  Recorder recorder_;
  QueueHoldLog queues_;
  StopRequest stop_;
};

TEST_F(Flash, OneM07EndToEnd) {
  sim::VirtualPrinter& printer = Printer(7);
  const std::string image = Package(7, 3 * kDataPieceSize);
  ASSERT_TRUE(Run(7, image, 10, nullptr, true, 1));

  ASSERT_EQ(printer.Images().size(), 1u);
  EXPECT_EQ(printer.Images()[0].writeType, 1);
  EXPECT_EQ(printer.Images()[0].bytes.size(), 3 * kDataPieceSize);
  const auto transcript = printer.Transcript();
  const auto codes = Commands(printer);
  EXPECT_EQ(CountOf(codes, cmd::kFirmwareData), 3u);
  for (const auto& record : transcript) {
    if (record.command == cmd::kFirmwareData) {
      EXPECT_EQ(record.payloadLength + record.paddingBytes + 6, 0xFC40u);
    }
  }
  EXPECT_EQ(CountOf(codes, cmd::kWriteEnd), 1u);
  EXPECT_EQ(transcript.back().command, cmd::kJobReset);
  EXPECT_EQ(transcript.back().parameters, (std::vector<uint8_t>{1}));

  std::vector<uint32_t> countdown;
  for (uint32_t s = 11; s-- > 0;) countdown.push_back(s);
  countdown.push_back(DownloadObserver::kCountdownDone);
  EXPECT_EQ(recorder_.Countdown(), countdown);
  EXPECT_EQ(printer.Version(), "2.00") << "came back with the new firmware";
  EXPECT_EQ(printer.Arrivals(), 2u);
  const auto pauses = rig_.clock.Pauses();
  EXPECT_NE(std::find(pauses.begin(), pauses.end(), 500u), pauses.end());
}

TEST_F(Flash, PiecesOfExactlyOneAndJustOverOnePacket) {
  sim::VirtualPrinter& printer = Printer(7);
  ASSERT_TRUE(Run(7, Package(7, kDataPieceSize), 5, nullptr, false));
  EXPECT_EQ(CountOf(Commands(printer), cmd::kFirmwareData), 1u);

  sim::VirtualPrinter& second = Printer(9);
  recorder_.progress.clear();
  ASSERT_TRUE(Run(9, Package(9, kDataPieceSize + 1), 5, nullptr, false));
  EXPECT_EQ(recorder_.progress,
            (std::vector<std::pair<uint32_t, uint32_t>>{{kDataPieceSize, kDataPieceSize + 1},
                                                        {kDataPieceSize + 1, kDataPieceSize + 1}}));
  const auto transcript = second.Transcript();
  std::vector<uint32_t> payloads;
  for (const auto& record : transcript) {
    if (record.command == cmd::kFirmwareData) payloads.push_back(record.payloadLength);
  }
  EXPECT_EQ(payloads, (std::vector<uint32_t>{kDataPieceSize, 1}));
}

TEST_F(Flash, WholeLengthIsReportedOnlyOnceThePrinterAnswersTheEnd) {
  Faulty(7, "E", [](sim::PrinterFaults& f) { f.silent = sim::CommandMatch::Code(cmd::kWriteEnd); });
  (void)Run(7, Package(7, 3 * kDataPieceSize));
  ASSERT_FALSE(recorder_.progress.empty());
  for (const auto& [sent, total] : recorder_.progress) {
    EXPECT_LT(sent, total) << "the pipe took the bytes, the printer never confirmed them";
  }
}

TEST_F(Flash, OpenModel5CountsDownFrom220) {
  Printer(5);
  ASSERT_TRUE(Run(5, Package(5), 30));
  const auto countdown = recorder_.Countdown();
  ASSERT_EQ(countdown.size(), 222u);
  EXPECT_EQ(countdown.front(), 220u);
  EXPECT_EQ(countdown[220], 0u);
  EXPECT_EQ(countdown.back(), DownloadObserver::kCountdownDone);

  // The extra programming time belongs to the restart: a CPU step counts its own 30 s.
  recorder_ = Recorder();
  ASSERT_TRUE(Run(5, Package(5), 30, nullptr, false, 2));
  EXPECT_EQ(recorder_.Countdown().front(), 30u);
}

TEST_F(Flash, ChecksumErrorAfterProgrammingFailsBeforeTheCountdown) {
  // The main and the DSP firmware's checksum codes, each on a model of its own.
  for (const auto& [model, code] : {std::pair{7u, 0x00030302u}, std::pair{9u, 0x00030402u}}) {
    rig_.Add(PrinterBuilder(model).ErrorAfterProgramming(sim::AlertForDetail(0x0406, code)));
    recorder_.seen.clear();
    EXPECT_FALSE(Run(model, Package(model)));
    EXPECT_EQ(recorder_.seen, (std::vector<Notification>{{DownloadObserver::kPrinterError, code}}));
    EXPECT_TRUE(ResultSays("checksum")) << result_.text.c_str();
  }
}

// Printer 2 is still programming when printer 1 reports its checksum error: the update
// fails only after the count-down, and printer 2 gets its own check.
TEST_F(Flash, ChecksumErrorOnTheFirstOfTwoPrintersLetsTheOtherFinishAndChecksIt) {
  sim::VirtualPrinter& first = Faulty(
      7, "SUM", [](auto& f) { f.errorAfterProgramming = sim::AlertForDetail(0x0406, 0x00030302); });
  sim::VirtualPrinter& second = Printer(7);
  EXPECT_FALSE(Run(7, Package(7)));

  const auto countdown = recorder_.Countdown();
  ASSERT_EQ(countdown.size(), 12u) << "the whole count-down";
  // Shown once every printer has finished programming, not before.
  EXPECT_EQ(recorder_.seen.back(), (Notification{DownloadObserver::kPrinterError, 0x00030302}));
  EXPECT_EQ(Errors().size(), 1u);
  EXPECT_EQ(CountOf(Commands(first), cmd::kAlert0406), 1u) << "printer 1 is not checked again";
  EXPECT_EQ(second.Version(), "2.00");
  EXPECT_EQ(Commands(second).back(), cmd::kJobReset) << "printer 2 passed its check";
  ASSERT_EQ(result_.printers.size(), 2u);
  EXPECT_EQ(result_.printers[0].result, PrinterResult::kFailed);
  EXPECT_EQ(result_.printers[0].printerError, 0x00030302u);
  EXPECT_EQ(result_.printers[1].result, PrinterResult::kUpdated);
  EXPECT_TRUE(ResultSays("Printer 1 reported checksum error 0x00030302")) << result_.text.c_str();
}

// A stop lets the transfer under way end; no other printer's transfer starts, and the
// printers sent to are still checked.
TEST_F(Flash, StopDuringAPrintersTransferStartsNoOtherPrintersTransfer) {
  sim::VirtualPrinter& first = Printer(7);
  sim::VirtualPrinter& second = Printer(7);
  stop_ = [this] { return recorder_.progress.empty() ? 0 : SIGTERM; };
  EXPECT_FALSE(Run(7, Package(7)));

  EXPECT_EQ(first.Images().size(), 1u);
  EXPECT_EQ(first.Version(), "2.00");
  EXPECT_TRUE(second.Transcript().empty()) << "not even looked for";
  ASSERT_EQ(result_.printers.size(), 2u);
  EXPECT_EQ(result_.printers[0].result, PrinterResult::kUpdated);
  EXPECT_EQ(result_.printers[1].result, PrinterResult::kNotSent);
  EXPECT_EQ(result_.text, "A stop was requested: printer 2 was not sent the firmware.");
  EXPECT_EQ(recorder_.stopsNoticed, 1);

  // The stop comes while printer 2 is looked for: its transfer does not start either.
  recorder_ = Recorder();
  stop_ = [&second] { return second.Transcript().empty() ? 0 : SIGTERM; };
  EXPECT_FALSE(Run(7, Package(7)));
  EXPECT_EQ(CountOf(Commands(second), cmd::kWriteStart), 0u);
  EXPECT_EQ(result_.printers[1].result, PrinterResult::kNotSent);

  // A stop during the reconnection is noticed there, and the check goes on.
  recorder_ = Recorder();
  sim::VirtualPrinter& third = Printer(9);
  stop_ = [this] { return recorder_.stages.size() < 3 ? 0 : SIGINT; };
  EXPECT_TRUE(Run(9, Package(9)));
  EXPECT_EQ(third.Version(), "2.00");
  EXPECT_EQ(recorder_.stopsNoticed, 1);
}

TEST_F(Flash, CpuStepKeepsNoBlockAndResetsNoJob) {
  sim::VirtualPrinter& printer = Printer(13, sim::MakeDeviceBlock(0x200));
  EXPECT_TRUE(Run(13, Package(13, 0x100000), 2, nullptr, false, 2));
  EXPECT_EQ(CountOf(Commands(printer), cmd::kBlockReadNext), 0u);
  EXPECT_EQ(CountOf(Commands(printer), cmd::kJobReset), 0u);
  EXPECT_EQ(recorder_.stages.back(), DownloadObserver::Stage::kReconnecting);

  // Not waiting for the burn either: counted down, then not reconnected.
  recorder_ = Recorder();
  options_.noWaitBurnOk = true;
  EXPECT_TRUE(Run(13, Package(13, 0x100000), 2, nullptr, false, 2));
  EXPECT_EQ(recorder_.Countdown().size(), 4u);
  EXPECT_EQ(recorder_.stages.back(), DownloadObserver::Stage::kCountdown);
}

TEST_F(Flash, DeviceBlockKeptAtItsModelsOffset) {
  const std::vector<uint8_t> block = sim::MakeDeviceBlock(0x200);
  sim::VirtualPrinter& card = Printer(13, block);
  ASSERT_TRUE(Run(13, Package(13, 0x100000)));
  const auto sent = card.Images().at(0).bytes;
  EXPECT_TRUE(std::equal(block.begin(), block.end(), sent.begin() + 0x2C000));

  LargeModelFiles();
  sim::VirtualPrinter& large = Printer(25, block);
  options_.noWaitBurnOk = false;
  ASSERT_TRUE(Run(25, Package(25, 0x100000)));
  const auto files = large.Files();
  ASSERT_EQ(files.size(), 3u);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), files[2].bytes.begin() + 0xF4C00));
}

TEST_F(Flash, BadLongOrMisfittingBlocksAreLeftOut) {
  const std::string image = Package(13, 0x100000);
  const auto original = TempDir::Read(image);
  for (auto block : {sim::MakeDeviceBlock(0x200, false), sim::MakeDeviceBlock(0x3400)}) {
    sim::VirtualPrinter& printer = Printer(13, block);
    ASSERT_TRUE(Run(13, image));
    const auto sent = printer.Images().at(0).bytes;
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), original.begin()));
  }
  sim::VirtualPrinter& small = Printer(13, sim::MakeDeviceBlock(0x200));
  const std::string shortImage = Package(13, 0x2C000 + 0x100);
  ASSERT_TRUE(Run(13, shortImage));
  const std::string shortBytes = TempDir::Read(shortImage);
  EXPECT_EQ(small.Images().at(0).bytes, std::vector<uint8_t>(shortBytes.begin(), shortBytes.end()));
}

std::string TableBytes() {
  std::string table(config::kTableFileSize, 'H');
  std::fill(table.begin(), table.begin() + 0x800, 'C');
  std::fill(table.begin() + 0x20800, table.end(), 'T');
  return table;
}

TEST_F(Flash, ColourTableMergedIntoTheImage) {
  const std::string table = dir_.Write("colour.bin", TableBytes());
  sim::VirtualPrinter& printer = Printer(7);
  ASSERT_TRUE(Run(7, Package(7, 0x70000), 5, table.c_str()));
  const auto sent = printer.Images().at(0).bytes;
  EXPECT_EQ(sent[0x2E000], 'C');
  EXPECT_EQ(sent[0x30000], 'H');
  EXPECT_EQ(sent[0x64000], 'T');

  // Model 22 is a large model: the merged image goes out as the third file.
  LargeModelFiles();
  sim::VirtualPrinter& m22 = Printer(22);
  ASSERT_TRUE(Run(22, Package(22, 0x70000), 5, table.c_str()));
  const auto files = m22.Files();
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[2].bytes[0x4D000], 'C');
  EXPECT_EQ(files[2].bytes[0x50FFF], 'H');
  EXPECT_EQ(files[2].bytes[0x2E000], 0x5A);
}

TEST_F(Flash, LargeModelSendsRegistersAndThreeFiles) {
  LargeModelFiles();
  sim::VirtualPrinter& printer = Printer(25);
  const std::string image = Package(25, 2 * kDataPieceSize + 1);
  ASSERT_TRUE(Run(25, image));
  EXPECT_EQ(printer.RegisterPackets().size(), 5u);
  const auto files = printer.Files();
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].kind, 0);
  EXPECT_EQ(files[0].bytes, std::vector<uint8_t>(0x100, 'c'));
  EXPECT_EQ(files[1].kind, 1);
  EXPECT_EQ(files[2].kind, 2);
  EXPECT_EQ(files[2].bytes.size(), 2 * kDataPieceSize + 1);
  for (const auto& record : printer.Transcript()) {
    if (record.command == cmd::kFileData) {
      EXPECT_EQ(record.writes, 2u);
      EXPECT_TRUE(record.answered);
    }
  }
}

TEST_F(Flash, MissingTableFileStopsTheUpdate) {
  LargeModelFiles();
  options_.tablePath = dir_.File("absent.bin");
  sim::VirtualPrinter& printer = Printer(25);
  EXPECT_FALSE(Run(25, Package(25)));
  ASSERT_EQ(printer.Files().size(), 1u) << "only the code file went out";
  EXPECT_TRUE(recorder_.seen.empty());
}

TEST_F(Flash, NoWaitBusyMakesEverySettleATwoSecondPause) {
  LargeModelFiles();
  options_.noWaitBusyBeforeWrite = true;
  Printer(25);
  ASSERT_TRUE(Run(25, Package(25), 5, nullptr, false));
  const auto pauses = rig_.clock.Pauses();
  EXPECT_EQ(std::count(pauses.begin(), pauses.end(), 2000u), 5);
}

TEST_F(Flash, NoPrinterMeansNoUpdate) {
  EXPECT_FALSE(Run(7, Package(7)));
  EXPECT_TRUE(recorder_.seen.empty());
  EXPECT_TRUE(rig_.clock.Pauses().empty());
  EXPECT_FALSE(result_.text.empty());
}

TEST_F(Flash, UnloadablePackageOrTooSmallImageRefusesTheUpdate) {
  Printer(7);
  EXPECT_FALSE(Run(7, dir_.File("missing.bin")));
  EXPECT_EQ(result_.text, "Open Firmware File Error!!");

  const std::string table = dir_.Write("colour.bin", TableBytes());
  EXPECT_FALSE(Run(7, Package(7, 0x1000), 5, table.c_str()));
  EXPECT_TRUE(ResultSays("4096 bytes")) << result_.text.c_str();
  EXPECT_TRUE(ResultSays("fw7.bin")) << "names the image file";
  EXPECT_TRUE(rig_.Printer(0).Transcript().empty()) << "nothing sent";
}

TEST_F(Flash, EveryPrinterIsUpdatedAndAFailureIsReported) {
  sim::VirtualPrinter& good = Printer(7);
  sim::VirtualPrinter& bad =
      rig_.Add(PrinterBuilder(7).Serial("BAD").Silent(sim::CommandMatch::Code(cmd::kWriteEnd)));
  options_.noWaitBurnOk = true;
  EXPECT_FALSE(Run(7, Package(7))) << "nothing shows the second printer was updated";
  EXPECT_TRUE(ResultSays("Printer 2 did not confirm the end of the firmware."))
      << result_.text.c_str();
  EXPECT_EQ(good.Images().size(), 1u);
  EXPECT_EQ(bad.Images().size(), 1u);
  EXPECT_EQ(CountOf(Commands(good), cmd::kWriteEnd), 1u);
}

// Each printer restarts as soon as it has its image and stays away while the others are
// sent to, so the list of printers on USB shrinks and grows under the loop.
TEST_F(Flash, PrintersRestartingDuringTheLoopEachGetTheImageOnce) {
  std::vector<sim::VirtualPrinter*> printers;
  for (const char* serial : {"R1", "R2", "R3"}) {
    printers.push_back(&rig_.Add(PrinterBuilder(7).Serial(serial).RestartGapMs(15000)));
  }
  const std::string image = dir_.Write(
      "fast.bin",
      MakePackage(0x20000, config::kHeaderOffsetMain, sim::ProductIdOfModel(7), 0, 0, "2.00"));
  EXPECT_TRUE(Run(7, image, 20)) << result_.text.c_str();
  for (sim::VirtualPrinter* printer : printers) {
    EXPECT_EQ(printer->Images().size(), 1u) << printer->Config().serialNumber;
    EXPECT_EQ(printer->Version(), "2.00") << printer->Config().serialNumber;
  }
}

TEST_F(Flash, SecondPrintersErrorIsNotified) {
  Printer(7);
  rig_.Add(PrinterBuilder(7).Serial("ERR").ErrorAfterProgramming(
      sim::AlertForDetail(0x0406, 0x00030402)));
  // The checksum check right after the download sees only the first printer; the second
  // fails its own check after the count-down.
  EXPECT_FALSE(Run(7, Package(7)));
  EXPECT_EQ(CountOf(Commands(rig_.Printer(1)), cmd::kAlert0406), 1u)
      << "a checksum code is not read a second time";
  EXPECT_NE(std::find(recorder_.seen.begin(), recorder_.seen.end(),
                      Notification{DownloadObserver::kPrinterError, 0x00030402}),
            recorder_.seen.end());
}

TEST_F(Flash, PrinterLeavingMidTransferFails) {
  rig_.Add(PrinterBuilder(7).LeavesAfterDataBytes(0x10000));
  options_.noWaitBurnOk = true;
  EXPECT_FALSE(Run(7, Package(7, 0x40000)));
}

TEST_F(Flash, PrinterThatDroppedOutMidTransferStaysFailedThoughItPassesItsCheck) {
  Printer(7);
  sim::VirtualPrinter& dropped =
      Faulty(7, "DROP", [](auto& f) { f.leaveAfterDataBytes = 0x10000; });
  EXPECT_FALSE(Run(7, Package(7, 0x40000)));
  ASSERT_EQ(result_.printers.size(), 2u);
  EXPECT_EQ(result_.printers[0].result, PrinterResult::kUpdated);
  EXPECT_EQ(result_.printers[1].result, PrinterResult::kFailed);
  // It was looked at after the count-down and passed: still not updated.
  EXPECT_EQ(CountOf(Commands(dropped), cmd::kJobReset), 1u);
}

TEST_F(Flash, VersionAfterProgrammingDecidesOnlyWhereItCanBeRead) {
  Printer(7);
  rig_.Add(
      PrinterBuilder(7).Serial("NOREV").ShortAnswer(sim::CommandMatch::Code(cmd::kProductInfo)));
  for (const char* expected : {"2.00", "3.00"}) {
    SCOPED_TRACE(expected);
    options_.expectedVersion = expected;
    const bool matches = std::string(expected) == "2.00";
    EXPECT_EQ(Run(7, Package(7)), matches);
    ASSERT_EQ(result_.printers.size(), 2u);
    EXPECT_EQ(result_.printers[0].versionAfter, "2.00");
    EXPECT_EQ(result_.printers[0].result,
              matches ? PrinterResult::kUpdated : PrinterResult::kFailed);
    // The other's revision cannot be read: its state alone decides.
    EXPECT_EQ(result_.printers[1].versionAfter, "");
    EXPECT_EQ(result_.printers[1].result, PrinterResult::kUpdated);
  }
}

TEST_F(Flash, EachPrinterGetsItsOwnDeviceBlockOrNone) {
  const std::string image = Package(13, 0x100000);
  const std::string original = TempDir::Read(image);
  const std::vector<uint8_t> block = sim::MakeDeviceBlock(0x200);
  sim::VirtualPrinter& withBlock = Printer(13, block);
  sim::VirtualPrinter& without = Printer(13);
  ASSERT_TRUE(Run(13, image));
  const auto first = withBlock.Images().at(0).bytes;
  EXPECT_TRUE(std::equal(block.begin(), block.end(), first.begin() + 0x2C000));
  const auto second = without.Images().at(0).bytes;
  EXPECT_TRUE(std::equal(second.begin(), second.end(), original.begin()))
      << "the second printer got the first one's block";
}

TEST_F(Flash, PrinterWhoseChannelNeverOpensHasFailed) {
  sim::VirtualPrinter& good = Printer(7);
  Faulty(7, "HELD", [](auto& f) { f.openRefused = true; });
  options_.noWaitBurnOk = true;
  EXPECT_FALSE(Run(7, Package(7)));
  EXPECT_EQ(good.Images().size(), 1u);
  EXPECT_TRUE(ResultSays("Printer 2")) << result_.text.c_str();
}

TEST_F(Flash, NoPrinterReachedMeansNoCountdown) {
  Faulty(7, "HELD1", [](auto& f) { f.openRefused = true; });
  Faulty(7, "HELD2", [](auto& f) { f.openRefused = true; });
  EXPECT_FALSE(Run(7, Package(7)));
  EXPECT_TRUE(recorder_.seen.empty());
  const auto pauses = rig_.clock.Pauses();
  EXPECT_EQ(pauses, std::vector<uint32_t>(60, 1000)) << "30 tries for each printer, nothing more";
}

TEST_F(Flash, PrinterThatNeverReturnsIsNamedNotGivenAnothersCode) {
  Faulty(7, "ERR",
         [](auto& f) { f.errorAfterProgramming = sim::AlertForDetail(0x0406, 0x00012345); });
  Faulty(7, "GONE", [](auto& f) { f.neverReturn = true; });
  EXPECT_FALSE(Run(7, Package(7)));
  EXPECT_EQ(Errors(), (std::vector<Notification>{{DownloadObserver::kPrinterError, 0x00012345}}));
  EXPECT_TRUE(ResultSays("Printer 2 did not come back")) << result_.text.c_str();
}

TEST_F(Flash, UnreadableStateAfterProgrammingIsNoPass) {
  sim::VirtualPrinter& printer = Faulty(7, "MUTE", [](auto& f) {
    f.silent = sim::CommandMatch::Code(cmd::kAlert0406);
    f.errorAfterProgramming = sim::AlertForDetail(0x0406, 0x00012345);
  });
  EXPECT_FALSE(Run(7, Package(7)));
  EXPECT_EQ(CountOf(Commands(printer), cmd::kJobReset), 0u) << "not confirmed";
  EXPECT_TRUE(Errors().empty()) << "a transport result is no printer code";
  EXPECT_TRUE(ResultSays("Printer 1:")) << result_.text.c_str();
}

TEST_F(Flash, UnreadableColourTableRefusesTheUpdate) {
  sim::VirtualPrinter& printer = Printer(7);
  const std::string table = dir_.File("absent-table.bin");
  EXPECT_FALSE(Run(7, Package(7, 0x70000), 5, table.c_str()));
  EXPECT_TRUE(ResultSays("absent-table.bin")) << result_.text.c_str();
  EXPECT_TRUE(printer.Transcript().empty());
}

TEST_F(Flash, PrinterThatNeverAnswersGetsNothingAndFails) {
  sim::VirtualPrinter& printer =
      Faulty(7, "MUTE", [](auto& f) { f.silent = sim::CommandMatch::Code(cmd::kStatusSummary); });
  EXPECT_FALSE(Run(7, Package(7)));
  EXPECT_EQ(Commands(printer), std::vector<uint16_t>(30, cmd::kStatusSummary));
  EXPECT_TRUE(recorder_.seen.empty());
  EXPECT_TRUE(ResultSays("Printer 1 was not sent the firmware: it did not answer."))
      << result_.text.c_str();
}

TEST_F(Flash, PrinterMissingAfterProgrammingIsLookedForTwiceThirtyTimes) {
  Faulty(7, "GONE", [](auto& f) { f.neverReturn = true; });
  EXPECT_FALSE(Run(7, Package(7), 0));
  const auto pauses = rig_.clock.Pauses();
  // One second before the checksum check, one count-down step, then 30 tries, the
  // second after the failed busy wait, and 30 more.
  EXPECT_EQ(std::count(pauses.begin(), pauses.end(), 1000u), 1 + 1 + 30 + 1 + 30);
  EXPECT_TRUE(Errors().empty());
  EXPECT_TRUE(ResultSays("Printer 1 did not come back")) << result_.text.c_str();
}

TEST_F(Flash, HarmlessConditionsAfterProgrammingPass) {
  // One model each, so that every update sees only its own printer.
  const std::pair<uint32_t, uint32_t> cases[] = {{3, 0x00000008},  {4, 0x00008000}, {6, 0x00008008},
                                                 {8, 0x00008010},  {7, 0x00050001}, {9, 0x00050101},
                                                 {10, 0x00080004}, {11, 0x00080103}};
  // Up to 0x61 a code is a transaction result, not a printer error: read again, but passed.
  sim::VirtualPrinter& boundary = Faulty(
      13, "0x61", [](auto& f) { f.errorAfterProgramming = sim::AlertForDetail(0x0406, 0x61); });
  EXPECT_TRUE(Run(13, Package(13), 1));
  EXPECT_EQ(CountOf(Commands(boundary), cmd::kAlert0406), 3u);
  for (const auto& [model, code] : cases) {
    SCOPED_TRACE(code);
    sim::VirtualPrinter& printer = Faulty(model, "OK", [code = code](auto& f) {
      f.errorAfterProgramming = sim::AlertForDetail(0x0406, code);
    });
    EXPECT_TRUE(Run(model, Package(model), 1));
    EXPECT_TRUE(Errors().empty());
    const auto codes = Commands(printer);
    EXPECT_EQ(CountOf(codes, cmd::kAlert0406), 2u) << "checksum check and one confirmation";
    EXPECT_EQ(codes.back(), cmd::kJobReset);
  }
  // Any other code is read a second time, as the check that is shown.
  sim::VirtualPrinter& printer = Faulty(12, "ERR", [](auto& f) {
    f.errorAfterProgramming = sim::AlertForDetail(0x0406, 0x00012345);
  });
  EXPECT_FALSE(Run(12, Package(12), 1));
  EXPECT_EQ(CountOf(Commands(printer), cmd::kAlert0406), 3u);
  EXPECT_EQ(Errors(), (std::vector<Notification>{{DownloadObserver::kPrinterError, 0x00012345}}));
}

TEST_F(Flash, NoWaitBurnOkAndSilentSkipTheirParts) {
  sim::VirtualPrinter& printer = Printer(7);
  options_.noWaitBurnOk = true;
  EXPECT_TRUE(Run(7, Package(7)));
  EXPECT_TRUE(recorder_.seen.empty());
  EXPECT_EQ(CountOf(Commands(printer), cmd::kJobReset), 0u) << "not waited for";

  options_.noWaitBurnOk = false;
  options_.silent = true;
  sim::VirtualPrinter& quiet = Printer(9);
  EXPECT_TRUE(Run(9, Package(9), 3));
  EXPECT_TRUE(recorder_.seen.empty()) << "no count-down in the silent mode";
  EXPECT_EQ(Commands(quiet).back(), cmd::kJobReset);
}

TEST_F(Flash, LargeModelLeavingHalfWayFails) {
  LargeModelFiles();
  sim::VirtualPrinter& printer = Faulty(25, "HALF", [](auto& f) {
    f.leaveAfterDataBytes = kDataPieceSize;
    f.neverReturn = true;
  });
  EXPECT_FALSE(Run(25, Package(25, 4 * kDataPieceSize)));
  EXPECT_LT(printer.Files().size(), 3u);
  EXPECT_TRUE(Errors().empty());
}

TEST_F(Flash, EachPrintersQueuesAreHeldBeforeItsImageUntilTheLastCommand) {
  options_.driverName = "Orvix Photo Printer T08";
  sim::VirtualPrinter& first = Printer(7);
  sim::VirtualPrinter& second = Printer(7);
  ASSERT_TRUE(Run(7, Package(7)));

  ASSERT_EQ(queues_.holds.size(), 2u);
  EXPECT_EQ(queues_.holds[0].printer.nodePath, "/dev/usb/lp0");
  EXPECT_EQ(queues_.holds[1].printer.nodePath, "/dev/usb/lp1");
  for (const auto& hold : queues_.holds) {
    EXPECT_EQ(hold.printer.driverName, "Orvix Photo Printer T08");
    EXPECT_EQ(hold.imagesBefore, 0u) << "an image went out before the queues were held";
  }
  // Released only after the check that follows the restart.
  EXPECT_EQ(queues_.holds[0].commandsAtRelease, first.Transcript().size());
  EXPECT_EQ(queues_.holds[1].commandsAtRelease, second.Transcript().size());
  EXPECT_TRUE(recorder_.warnings.empty());
}

TEST_F(Flash, QueuesAreResumedAfterAFailureAndAnIncompleteHoldIsOnlyAWarning) {
  queues_.warning = "Print queue Photo could not be paused (no permission): ...";
  queues_.releaseFails = true;
  Faulty(7, "BAD",
         [](auto& f) { f.errorAfterProgramming = sim::AlertForDetail(0x0406, 0x030302); });
  EXPECT_FALSE(Run(7, Package(7)));

  ASSERT_EQ(queues_.holds.size(), 1u);
  EXPECT_TRUE(queues_.holds[0].commandsAtRelease.has_value());
  // The image still went out despite the warning.
  EXPECT_EQ(rig_.Printer(0).Images().size(), 1u);
  ASSERT_EQ(recorder_.warnings.size(), 2u);
  EXPECT_EQ(recorder_.warnings[0], queues_.warning);
  EXPECT_NE(recorder_.warnings[1].find("could not be resumed"), std::string::npos);
}

TEST_F(Flash, CalibrationBlockLostInProgrammingFailsOnlyThatPrinter) {
  const std::vector<uint8_t> block = sim::MakeDeviceBlock(0x200);
  Printer(13, block);
  rig_.Add(
      PrinterBuilder(13).Serial("LOSES").DeviceBlock(block).BlockDamage(sim::BlockDamage::kLost));
  EXPECT_FALSE(Run(13, Package(13, 0x100000)));
  EXPECT_TRUE(ResultSays("Printer 2 lost its calibration block")) << result_.text.c_str();
  EXPECT_FALSE(ResultSays("Printer 1")) << result_.text.c_str();
}

TEST_F(Flash, CalibrationBlockAlteredInProgrammingFailsThePrinter) {
  rig_.Add(PrinterBuilder(25)
               .DeviceBlock(sim::MakeDeviceBlock(0x200))
               .BlockDamage(sim::BlockDamage::kAltered));
  LargeModelFiles();
  EXPECT_FALSE(Run(25, Package(25, 0x100000)));
  EXPECT_TRUE(ResultSays("Printer 1: its calibration block changed")) << result_.text.c_str();
}

}  // namespace
}  // namespace kiln::protocol
