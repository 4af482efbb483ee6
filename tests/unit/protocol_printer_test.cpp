// The command protocol against the virtual printer: what the printer receives, byte
// for byte, and how its answers and alerts are read.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "protocol/data_transfer.h"
#include "protocol/prn_cmd.h"
#include "sim/virtual_printer.h"
#include "support/printer_builder.h"
#include "support/printer_channel.h"

namespace kiln::protocol {
namespace {

using kiln::testing::FakeClock;
using kiln::testing::PrinterBuilder;
using kiln::testing::PrinterChannel;
using usb::ResultCode;

class AgainstPrinter : public ::testing::Test {
 protected:
  void Make(sim::VirtualPrinterConfig config) {
    const uint32_t model = config.model;
    printer_ = std::make_unique<sim::VirtualPrinter>(std::move(config), clock_);
    channel_ = std::make_unique<PrinterChannel>(*printer_, clock_, model);
    prn_ = std::make_unique<CPrnCmd>(channel_.get(), SendModeFor(model >= 19));
  }
  sim::PacketRecord Last() const { return printer_->Transcript().back(); }

  FakeClock clock_;
  std::unique_ptr<sim::VirtualPrinter> printer_;
  std::unique_ptr<PrinterChannel> channel_;
  std::unique_ptr<CPrnCmd> prn_;
};

TEST_F(AgainstPrinter, PaddedAndUnpaddedPackets) {
  Make({});
  ASSERT_EQ(prn_->DoCommand(cmd::kStatusSummary), ResultCode::kAnswered);
  EXPECT_EQ(channel_->writeSizes, (std::vector<uint32_t>{64}));
  EXPECT_EQ(Last().paddingBytes, 58u);
  EXPECT_TRUE(Last().paddingOk);

  ASSERT_EQ(prn_->DoCommand3(cmd::kWriteStart, 0, 0), ResultCode::kAnswered);
  EXPECT_EQ(Last().parameters, (std::vector<uint8_t>{0}));
  EXPECT_EQ(printer_->WriteType(), 0);

  Make(PrinterBuilder(25));
  ASSERT_EQ(prn_->DoCommand(cmd::kStatusSummary), ResultCode::kAnswered);
  EXPECT_EQ(channel_->writeSizes, (std::vector<uint32_t>{6}));
  EXPECT_TRUE(Last().paddingOk);

  ASSERT_EQ(prn_->SendAsicRegisterPara(0xFC, 0x1A, 0x04), ResultCode::kAnswered);
  EXPECT_EQ(channel_->writeSizes.back(), 9u);
  EXPECT_EQ(printer_->RegisterPackets().back(), (sim::RegisterPacket{0xFC, 0x1A, 0x04}));

  const std::vector<uint8_t> piece(300, 0x5C);
  ASSERT_EQ(prn_->DoCommand3(cmd::kFileAnnounce, 0, 0), ResultCode::kAnswered);
  ASSERT_EQ(prn_->DoCmdSendData(cmd::kFileData, piece.data(), 300), ResultCode::kAnswered);
  EXPECT_EQ(Last().writes, 2u) << "header and piece arrive as two writes";
  EXPECT_EQ(Last().payloadLength, 300u);
  EXPECT_TRUE(Last().paddingOk);
}

TEST_F(AgainstPrinter, DataPacketOfAFullPieceIsWrittenAs0xFC40) {
  Make({});
  const std::vector<uint8_t> image(kDataPieceSize + 64, 0x11);
  EXPECT_EQ(WriteFirmwareImage(*prn_, image.data(), static_cast<uint32_t>(image.size()), 1),
            TransferOutcome::kSent);
  EXPECT_EQ(channel_->writeSizes[1], 0xFC40u);
  EXPECT_EQ(channel_->writeSizes[2], 128u) << "6 + 64 bytes padded";
  for (const auto& record : printer_->Transcript()) EXPECT_TRUE(record.paddingOk);
  ASSERT_EQ(printer_->Images().size(), 1u);
  EXPECT_EQ(printer_->Images()[0].bytes, image);
  EXPECT_EQ(printer_->Images()[0].writeType, 1);
}

TEST_F(AgainstPrinter, FaultyAnswers) {
  // Each fault on a printer of its own: a bad header leaves its data in the pipe.
  Make(PrinterBuilder(7).BadFirstByte(sim::CommandMatch::Code(0x0400)));
  EXPECT_EQ(prn_->DoCommand(cmd::kStatusSummary), ResultCode::kBadResponseHeader);
  EXPECT_EQ(prn_->bytesReceived(), 6u);

  Make(PrinterBuilder(7)
           .ShortAnswer(sim::CommandMatch::Code(0x8008))
           .Silent(sim::CommandMatch::Code(0x0405)));
  EXPECT_EQ(prn_->DoCommand(cmd::kColourMode), ResultCode::kShortResponse);
  EXPECT_EQ(prn_->responseLength(), 7) << "\"Standard\" less one byte";
  EXPECT_EQ(prn_->DoCommand(cmd::kAlert0405), ResultCode::kReadTimeOut);
  EXPECT_EQ(clock_.Pauses().back(), PrinterChannel::kReadTimeOutMs);
}

TEST_F(AgainstPrinter, StatusFlowsFromThePrintersAlerts) {
  Make({});
  uint32_t error = 0xFFFF;
  EXPECT_EQ(prn_->CheckDeviceStatus(&error, {}), kStatusOk);
  EXPECT_EQ(error, 0u);

  Make(PrinterBuilder(7).Alert(sim::AlertForDetail(0x0403, 0x00050001)));
  EXPECT_EQ(prn_->CheckDeviceStatus(&error, {}), kStatusError);
  EXPECT_EQ(error, 0x00000001u);

  Make(PrinterBuilder(7).Alert(sim::AlertForDetail(0x0407, 0x000301FE)));
  EXPECT_EQ(prn_->CheckDeviceStatus(&error, {}), kStatusJobReset);
  EXPECT_EQ(Last().command, cmd::kJobReset);
  EXPECT_EQ(Last().parameters, (std::vector<uint8_t>{2}));

  Make(PrinterBuilder(7).Alert(sim::AlertForDetail(0x040A, 0x00080007)));
  EXPECT_EQ(prn_->CheckDeviceStatus(&error, {}), kStatusOk);
  EXPECT_EQ(error, 0x00080007u);
}

TEST_F(AgainstPrinter, WaitBusyPollsUntilThePrinterIsFree) {
  Make(PrinterBuilder(7).BusyPolls(3));
  EXPECT_EQ(prn_->WaitBusy(500, false), BusyWait::Ready());
  EXPECT_EQ(clock_.Pauses(), (std::vector<uint32_t>{500, 500, 500}));
}

TEST_F(AgainstPrinter, RevisionAndProductInformation) {
  Make(PrinterBuilder(7).Version("1.07a"));
  char revision[24] = {};
  EXPECT_EQ(prn_->GetProductRev(revision, sizeof revision), ResultCode::kAnswered);
  EXPECT_STREQ(revision, "1.07a");
}

}  // namespace
}  // namespace kiln::protocol
