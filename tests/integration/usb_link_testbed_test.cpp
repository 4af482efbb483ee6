// Device discovery and the link on the umockdev test bed: virtual printers behind
// /dev/usb/lpN, found through udev and spoken to through their nodes, from this process
// and from worker programs.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "platform/printer_pipes.h"
#include "protocol/command_codes.h"
#include "protocol/prn_cmd.h"
#include "sim/testbed/test_bed.h"
#include "support/child_process.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "test_bed_fixture.h"
#include "usb/printer_node_source.h"
#include "usb/usb_link.h"

namespace kiln::usb {
namespace {

using namespace std::chrono_literals;
using kiln::testing::ChildProcess;

constexpr uint32_t kModel7 = 7;
constexpr uint32_t kModel9 = 9;

sim::VirtualPrinterConfig Printer(uint32_t model, const char* serial, const char* version) {
  sim::VirtualPrinterConfig config;
  config.model = model;
  config.serialNumber = serial;
  config.version = version;
  return config;
}

class LinkOnTestBed : public kiln::testing::TestBedTest {
 protected:
  // A link on the real Linux services; its pauses go to a fake clock.
  std::unique_ptr<CUsbLink> MakeLink() {
    return std::make_unique<CUsbLink>(LinkServices{&platform::SystemProbes(),
                                                   &platform::SystemPrinterPipes(),
                                                   &SystemPrinterNodes(), &clock_});
  }

  static std::string RevisionOf(CUsbLink& link) {
    protocol::CPrnCmd prn(&link, protocol::SendMode::kPadded);
    char revision[24] = {};
    if (prn.GetProductRev(revision, sizeof revision) != ResultCode::kAnswered) return "(none)";
    return revision;
  }

  kiln::testing::FakeClock clock_;
};

TEST_F(LinkOnTestBed, PrintersOfAModelAreCountedAndSelectedByInstance) {
  Start({Printer(kModel7, "A", "1.01"), Printer(kModel9, "B", "2.00"),
         Printer(kModel7, "C", "1.02")});
  auto link = MakeLink();
  EXPECT_EQ(link->CountDevices(kModel7), 2u);
  EXPECT_EQ(link->CountDevices(kModel9), 1u);
  EXPECT_EQ(link->CountDevices(12), 0u);

  ASSERT_EQ(link->OpenIOChannel(kModel7, 1), kOpenOk);
  EXPECT_EQ(link->devicePath(), bed_->NodeName(0));
  EXPECT_EQ(RevisionOf(*link), "1.01");
  ASSERT_EQ(link->OpenIOChannel(kModel7, 2), kOpenOk);
  EXPECT_EQ(link->devicePath(), bed_->NodeName(2));
  EXPECT_EQ(RevisionOf(*link), "1.02");
  ASSERT_EQ(link->OpenIOChannel(kModel9, 1), kOpenOk);
  EXPECT_EQ(RevisionOf(*link), "2.00");
  EXPECT_EQ(link->OpenIOChannel(kModel7, 3), kOpenNotActive);
  EXPECT_EQ(link->OpenIOChannel(12, 1), kOpenNoDevice);
}

TEST_F(LinkOnTestBed, SilentPrinterTimesOutThenTheReadPipeIsGone) {
  sim::VirtualPrinterConfig silent = Printer(kModel7, "A", "1.00");
  silent.faults.silent = sim::CommandMatch::All();
  Start({silent});
  auto link = MakeLink();
  ASSERT_EQ(link->OpenIOChannel(kModel7, 1), kOpenOk);
  link->SetTimeOuts(200, 2000);
  protocol::CPrnCmd prn(link.get(), protocol::SendMode::kPadded);
  EXPECT_EQ(prn.DoCommand(protocol::cmd::kStatusSummary), ResultCode::kReadTimeOut);
  uint8_t answer[6];
  uint32_t count = 0;
  EXPECT_EQ(link->ReadData(answer, sizeof answer, &count), ResultCode::kReadPipeInvalid);
}

TEST_F(LinkOnTestBed, UnpluggedInTheMiddleOfAWriteFailsWithoutHanging) {
  Start({Printer(kModel7, "A", "1.00")});
  auto link = MakeLink();
  ASSERT_EQ(link->OpenIOChannel(kModel7, 1), kOpenOk);
  link->SetTimeOuts(500, 500);
  // Far more than the printer takes in the moment before the cable is pulled.
  const std::vector<uint8_t> data(64u << 20, 0);
  uint32_t written = 0;
  auto write = std::async(std::launch::async, [&] {
    return link->WriteData(data.data(), static_cast<uint32_t>(data.size()), &written);
  });
  std::this_thread::sleep_for(10ms);
  bed_->Unplug(0);
  ASSERT_EQ(write.wait_for(20s), std::future_status::ready) << "the write hangs";
  const ResultCode result = write.get();
  // Over libusb a departure while a large transfer is split into several requests can end
  // it as a bus error (kWriteCrc) before the departure itself is seen; every ending closes
  // the pipe.
  EXPECT_TRUE(result == ResultCode::kWriteTimeOut || result == ResultCode::kPipeClosed ||
              result == ResultCode::kWriteCrc)
      << "0x" << std::hex << int{ToByte(result)};
  EXPECT_LT(written, data.size());
  EXPECT_EQ(link->WriteData(data.data(), 64, &written), ResultCode::kWritePipeInvalid);
}

// A printer that leaves USB while a status answer is awaited (it restarts after
// programming): the read ends as soon as it is gone, not at the end of its time-out, and
// the link reports the read as failed with its read pipe closed. A program started on the
// test bed meanwhile (as kiln-testbed starts Kiln) must not keep the node from hanging up.
TEST_F(LinkOnTestBed, AReadOnADepartedPrinterEndsAtOnce) {
  sim::VirtualPrinterConfig silent = Printer(kModel7, "A", "1.00");
  silent.faults.silent = sim::CommandMatch::All();
  Start({silent});
  ChildProcess bystander({"/bin/sleep", "60"});
  ASSERT_TRUE(bystander.started());
  auto link = MakeLink();
  ASSERT_EQ(link->OpenIOChannel(kModel7, 1), kOpenOk);
  link->SetTimeOuts(5000, 5000);
  protocol::CPrnCmd prn(link.get(), protocol::SendMode::kPadded);
  auto status = std::async(std::launch::async, [&] {
    const ResultCode result = prn.DoCommand(protocol::cmd::kStatusSummary);
    return std::make_pair(result, std::chrono::steady_clock::now());
  });
  std::this_thread::sleep_for(50ms);
  const auto departed = std::chrono::steady_clock::now();
  bed_->Unplug(0);
  ASSERT_EQ(status.wait_for(20s), std::future_status::ready);
  const auto [result, ended] = status.get();
  EXPECT_EQ(result, ResultCode::kReadTimeOut) << "0x" << std::hex << int{ToByte(result)};
  // From the unplug to the end of the read: a few milliseconds, with room for a loaded
  // machine under a sanitizer; waiting for the time-out would take 5 s.
  EXPECT_LT(ended - departed, 100ms);
  uint8_t answer[6];
  uint32_t count = 0;
  EXPECT_EQ(link->ReadData(answer, sizeof answer, &count), ResultCode::kReadPipeInvalid);
}

class TransactionsBetweenProcesses : public LinkOnTestBed {
 protected:
  void SetUp() override {
    LinkOnTestBed::SetUp();
    ::setenv("KILN_TIME_SCALE", "0.01", 1);  // the workers' 300 ms pause after opening
  }
  void TearDown() override {
    ::unsetenv("KILN_TIME_SCALE");
    LinkOnTestBed::TearDown();
  }
  static std::vector<std::string> Worker(uint32_t instance, unsigned rounds, const char* revision) {
    return {KILN_LINK_WORKER,       "revision", std::to_string(kModel7), std::to_string(instance),
            std::to_string(rounds), revision};
  }
};

TEST_F(TransactionsBetweenProcesses, TwoProgramsOnOnePrinterNeverInterleave) {
  // Enough rounds that programs without the I/O right get each other's answers.
  constexpr unsigned kRounds = 200;
  Start({Printer(kModel7, "A", "1.01")});
  ChildProcess first(Worker(1, kRounds, "1.01"));
  ChildProcess second(Worker(1, kRounds, "1.01"));
  const std::vector<std::optional<int>> ends{first.WaitFor(60s), second.WaitFor(60s)};
  // A program's claim of the printer interface (libusb), or its open of the usblp node,
  // keeps every other program out of that printer until it lets go: one that finds the
  // printer held is refused (status 1) and sends nothing; at least one program gets it.
  std::size_t served = 0;
  for (const std::optional<int>& end : ends) {
    EXPECT_TRUE(end == 0 || end == 1);
    served += end == 0;
  }
  EXPECT_GE(served, 1u);
  // Every packet the printer received was whole and answered.
  const auto transcript = bed_->Printer(0).Transcript();
  EXPECT_EQ(transcript.size(), served * kRounds);
  for (const auto& packet : transcript) {
    EXPECT_EQ(packet.command, protocol::cmd::kProductInfo);
    EXPECT_TRUE(packet.answered);
    EXPECT_TRUE(packet.paddingOk);
  }
}

TEST_F(TransactionsBetweenProcesses, APrinterInATransactionDoesNotBlockAnother) {
  Start({Printer(kModel7, "A", "1.01"), Printer(kModel7, "B", "1.02")});
  auto link = MakeLink();
  ASSERT_EQ(link->OpenIOChannel(kModel7, 1), kOpenOk);
  link->WaitIORight();
  ChildProcess samePrinter(Worker(1, 1, "1.01"));
  ChildProcess otherPrinter(Worker(2, 1, "1.02"));
  EXPECT_EQ(otherPrinter.WaitFor(60s), 0);
  EXPECT_EQ(samePrinter.WaitFor(60s), 1) << "refused while this program holds the printer";
  EXPECT_TRUE(bed_->Printer(0).Transcript().empty()) << "the refused program sent nothing";
  link.reset();  // lets go of the printer
  ChildProcess later(Worker(1, 1, "1.01"));
  EXPECT_EQ(later.WaitFor(60s), 0) << "the printer is free again";
}

}  // namespace
}  // namespace kiln::usb
