#include "sim/virtual_printer.h"

#include <gtest/gtest.h>

#include <string>

#include "config/firmware_package.h"
#include "sim/printer_answers.h"
#include "support/fake_clock.h"
#include "support/package_builder.h"
#include "support/printer_builder.h"
#include "support/printer_wire.h"

namespace kiln::sim {
namespace {

using testing::Bytes;
using testing::CommandPacket;
using testing::Padded;
using testing::Send;
using testing::TakeResponse;
using testing::Transact;

constexpr uint32_t kSmallModel = 7;   // M07, product ID 0x0002, padded packets
constexpr uint32_t kLargeModel = 25;  // M25, product ID 0x0108, unpadded packets
constexpr uint32_t kCardModel = 20;

testing::PrinterBuilder Config(uint32_t model) {
  return testing::PrinterBuilder(model).Version("1.05").ColourMode("Vivid").Serial("SN42");
}

// A firmware image with its identification header at 0x1040 (and at 0x40 for CPU code).
Bytes Image(uint16_t productId, uint16_t cpuSeconds, uint16_t seconds, const char* version,
            std::size_t size = 0x3000, uint32_t headerOffset = 0x1040) {
  const std::string bytes =
      testing::MakePackage(size, headerOffset, productId, cpuSeconds, seconds, version);
  return Bytes(bytes.begin(), bytes.end());
}

class PrinterTest : public ::testing::Test {
 protected:
  testing::FakeClock clock;
};

// Sends an image the padded way: start of write, 0xFC00-byte data pieces, end of write.
void WriteImagePadded(VirtualPrinter& printer, const Bytes& image, uint8_t writeType) {
  ASSERT_TRUE(Transact(printer, 0x8400, true, {writeType}));
  for (std::size_t done = 0; done < image.size(); done += 0xFC00) {
    const std::size_t piece = std::min<std::size_t>(0xFC00, image.size() - done);
    const Bytes payload(image.begin() + static_cast<long>(done),
                        image.begin() + static_cast<long>(done + piece));
    Send(printer, Padded(CommandPacket(0x8301, {}, payload, 0x40)));
  }
  ASSERT_TRUE(Transact(printer, 0x8401, true));
}

// Sends one file of the three-file download: announce, split data pieces, end of file.
void SendFile(VirtualPrinter& printer, uint8_t kind, const Bytes& file) {
  ASSERT_TRUE(Transact(printer, 0x8306, false, {kind}));
  for (std::size_t done = 0; done < file.size(); done += 0xFC00) {
    const std::size_t piece = std::min<std::size_t>(0xFC00, file.size() - done);
    const Bytes payload(file.begin() + static_cast<long>(done),
                        file.begin() + static_cast<long>(done + piece));
    const Bytes packet = CommandPacket(0x8308, {}, payload);
    Send(printer, Bytes(packet.begin(), packet.begin() + 6));
    Send(printer, payload);
    ASSERT_TRUE(TakeResponse(printer));
  }
  ASSERT_TRUE(Transact(printer, 0x8307, false));
}

uint32_t DetailCode(const testing::Response& response) {
  return (uint32_t{response.data[1]} << 16) | (uint32_t{response.data[2]} << 8) | response.data[3];
}

// ---------------------------------------------------------------------------------------
// Packet parsing

TEST_F(PrinterTest, PaddedPacketIsAnsweredAndItsPaddingChecked) {
  VirtualPrinter printer(Config(kSmallModel), clock);
  const auto status = Transact(printer, 0x0400, true);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->first, 0xA5);
  EXPECT_EQ(status->command, 0x0400);
  EXPECT_EQ(status->lengthField, 3 + status->data.size());

  // Padding with a stray non-zero byte is flagged; the packet is still answered.
  Bytes spoilt = Padded(CommandPacket(0x0400));
  spoilt[40] = 0x11;
  Send(printer, spoilt);
  EXPECT_TRUE(TakeResponse(printer));

  // Padding left out: the next packet's start ends it, and that packet is answered too.
  Bytes unpadded = CommandPacket(0x0400);
  Bytes two = unpadded;
  const Bytes product = Padded(CommandPacket(0x0100));
  two.insert(two.end(), product.begin(), product.end());
  Send(printer, two);
  EXPECT_EQ(TakeResponse(printer)->command, 0x0400);
  EXPECT_EQ(TakeResponse(printer)->command, 0x0100);

  const auto transcript = printer.Transcript();
  ASSERT_EQ(transcript.size(), 4u);
  EXPECT_EQ(transcript[0].paddingBytes, 58u);
  EXPECT_TRUE(transcript[0].paddingOk);
  EXPECT_FALSE(transcript[1].paddingOk);
  EXPECT_EQ(transcript[2].paddingBytes, 0u);
  EXPECT_FALSE(transcript[2].paddingOk);
  EXPECT_TRUE(transcript[3].paddingOk);
  // Both packets of the one write came in that write.
  EXPECT_EQ(transcript[2].writes, 1u);
  EXPECT_EQ(transcript[3].writes, 1u);
}

TEST_F(PrinterTest, PaddedPacketArrivingInPiecesIsReassembled) {
  VirtualPrinter printer(Config(kSmallModel), clock);
  const Bytes packet = Padded(CommandPacket(0x8400, {1}));
  for (uint8_t byte : packet) Send(printer, {byte});
  const auto answer = TakeResponse(printer);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->command, 0x8400);
  EXPECT_EQ(printer.WriteType(), 1);
  const auto record = printer.Transcript().at(0);
  EXPECT_EQ(record.parameters, Bytes{1});
  EXPECT_EQ(record.writes, 7u);  // header and parameter, one byte per write
  EXPECT_TRUE(record.paddingOk);
}

TEST_F(PrinterTest, LargeModelTakesUnpaddedAndSplitPackets) {
  VirtualPrinter printer(Config(kLargeModel), clock);
  EXPECT_TRUE(Transact(printer, 0x0400, false));

  // A split data packet: 6-byte header write, then the piece.
  ASSERT_TRUE(Transact(printer, 0x8306, false, {0}));
  const Bytes piece(100, 0x33);
  const Bytes packet = CommandPacket(0x8308, {}, piece);
  Send(printer, Bytes(packet.begin(), packet.begin() + 6));
  EXPECT_EQ(printer.PendingAnswerBytes(), 0u);
  Send(printer, piece);
  EXPECT_EQ(TakeResponse(printer)->command, 0x8308);

  // Padding sent to a large model is flagged on the packet before it.
  Send(printer, Padded(CommandPacket(0x0400)));
  EXPECT_TRUE(TakeResponse(printer));

  const auto transcript = printer.Transcript();
  ASSERT_EQ(transcript.size(), 4u);
  EXPECT_TRUE(transcript[0].paddingOk);
  EXPECT_EQ(transcript[0].writes, 1u);
  EXPECT_EQ(transcript[2].command, 0x8308);
  EXPECT_EQ(transcript[2].payloadLength, 100u);
  EXPECT_TRUE(transcript[2].parameters.empty());
  EXPECT_EQ(transcript[2].writes, 2u);
  EXPECT_EQ(transcript[3].paddingBytes, 58u);
  EXPECT_FALSE(transcript[3].paddingOk);
}

// ---------------------------------------------------------------------------------------
// Answers

TEST_F(PrinterTest, ProductInformationCarriesNameRevisionSerialAndProductId) {
  VirtualPrinter printer(Config(kSmallModel), clock);
  const auto info = Transact(printer, 0x0100, true);
  ASSERT_TRUE(info);
  const Bytes& d = info->data;
  ASSERT_GT(d.size(), 34u);
  std::size_t at = 33;
  auto text = [&] {
    const std::size_t n = d.at(at);
    std::string t(d.begin() + static_cast<long>(at + 1), d.begin() + static_cast<long>(at + 1 + n));
    at += 1 + n;
    return t;
  };
  EXPECT_EQ(text(), "Orvix Photo Printer T08");
  EXPECT_EQ(text(), "1.05");
  EXPECT_EQ(text(), "SN42");
  ASSERT_EQ(d.size(), at + 2);
  EXPECT_EQ((d[at] << 8) | d[at + 1], 0x0002);
}

TEST_F(PrinterTest, AnswersEveryCommandOfTheUpdater) {
  VirtualPrinter printer(Config(kSmallModel), clock);
  const auto status = Transact(printer, 0x0400, true);
  ASSERT_GE(status->data.size(), 3u);
  EXPECT_EQ(status->data[0] | status->data[1] | status->data[2], 0);

  EXPECT_EQ(Transact(printer, 0x8008, true)->data, (Bytes{'V', 'i', 'v', 'i', 'd'}));
  EXPECT_GE(Transact(printer, 0x040C, true, {0})->data.size(), 3u);
  EXPECT_GE(Transact(printer, 0x8001, true, {0})->data.size(), 2u);
  for (uint16_t detail :
       std::initializer_list<uint16_t>{0x0403, 0x0405, 0x0406, 0x0407, 0x0408, 0x040A}) {
    const auto answer = Transact(printer, detail, true);
    ASSERT_TRUE(answer) << detail;
    EXPECT_EQ(answer->data.at(0), 0) << detail;
  }
  for (uint16_t plain : std::initializer_list<uint16_t>{0x0301, 0x8401, 0x1234}) {
    const auto answer = Transact(printer, plain, true, {1});
    ASSERT_TRUE(answer) << plain;
    EXPECT_EQ(answer->lengthField, 3) << plain;
  }
  // Unanswered packets get nothing, and firmware data never does.
  Send(printer, Padded(CommandPacket(0x1234, {}, {}, 0x40)));
  Send(printer, Padded(CommandPacket(0x8301, {}, Bytes(10, 1), 0x50)));
  EXPECT_EQ(printer.PendingAnswerBytes(), 0u);
}

TEST_F(PrinterTest, StatusRecordMarksAHeldDataBlockWhereTheModelKeepsIt) {
  VirtualPrinter photoPrinter(Config(kSmallModel).DeviceBlock(MakeDeviceBlock(0x100)), clock);
  const auto record = Transact(photoPrinter, 0x8000, true);
  ASSERT_GE(record->data.size(), 29u);
  EXPECT_EQ(record->data[19] & 0x10, 0x10);

  VirtualPrinter cardPrinter(Config(kCardModel).DeviceBlock(MakeDeviceBlock(0x100)), clock);
  const auto cardRecord = Transact(cardPrinter, 0x8000, false);
  EXPECT_EQ(cardRecord->data[3] & 0x10, 0x10);
  EXPECT_EQ(cardRecord->data[19] & 0x10, 0);

  VirtualPrinter without(Config(kSmallModel), clock);
  EXPECT_EQ(Transact(without, 0x8000, true)->data[19] & 0x10, 0);
}

// ---------------------------------------------------------------------------------------
// Device data block

// Reads the block back as the host does: 0x8702, then 0xE028 until an empty answer.
Bytes ReadBackBlock(VirtualPrinter& printer, bool padded, uint8_t* byte3) {
  const auto start = Transact(printer, 0x8702, padded);
  *byte3 = start->headerByte3;
  Bytes block;
  for (int pieces = 0; pieces < 100; ++pieces) {
    const auto piece = Transact(printer, 0xE028, padded);
    if (!piece || piece->data.empty()) break;
    block.insert(block.end(), piece->data.begin(), piece->data.end());
  }
  return block;
}

TEST_F(PrinterTest, DeviceBlockIsReadBackInPiecesAndSurvivesARestart) {
  const VirtualPrinterConfig config = Config(kLargeModel).DeviceBlock(MakeDeviceBlock(0x1234));
  VirtualPrinter printer(config, clock);
  EXPECT_TRUE(config::VerifyBlockChecksum(config.deviceBlock.data(), config.deviceBlock.size(),
                                          config::kDeviceBlockMarker));

  uint8_t byte3 = 0;
  EXPECT_EQ(ReadBackBlock(printer, false, &byte3), config.deviceBlock);
  EXPECT_EQ(byte3, 0x50);

  printer.Unplug();
  printer.Plug();
  EXPECT_EQ(ReadBackBlock(printer, false, &byte3), config.deviceBlock);

  VirtualPrinter none(Config(kLargeModel), clock);
  EXPECT_TRUE(ReadBackBlock(none, false, &byte3).empty());
  EXPECT_EQ(byte3, 0);
}

TEST_F(PrinterTest, FaultyBlocksAreHandedOutAsHeld) {
  const Bytes bad = MakeDeviceBlock(0x200, false);
  EXPECT_FALSE(config::VerifyBlockChecksum(bad.data(), bad.size(), config::kDeviceBlockMarker));

  VirtualPrinter printer(
      Config(kSmallModel).DeviceBlock(MakeDeviceBlock(kMaxDeviceBlockLength + 0x400)), clock);
  uint8_t byte3 = 0;
  EXPECT_EQ(ReadBackBlock(printer, true, &byte3).size(), kMaxDeviceBlockLength + 0x400);
}

// ---------------------------------------------------------------------------------------
// Flash programming

TEST_F(PrinterTest, EndOfWriteProgramsForTheImagesTimeThenRestartsUnderItsIdentity) {
  VirtualPrinter printer(
      Config(kSmallModel).RestartGapMs(1500).Alert(AlertForDetail(0x0405, 0x050001)), clock);
  const Bytes image = Image(0x0103, 5, 30, "2.10", 0x1F900);  // three data packets
  WriteImagePadded(printer, image, 0);

  ASSERT_EQ(printer.Images().size(), 1u);
  EXPECT_EQ(printer.Images()[0].bytes, image);
  EXPECT_EQ(printer.Images()[0].writeType, 0);
  EXPECT_EQ(Transact(printer, 0x0400, true)->data[0] & 0x80, 0x80);

  clock.Advance(29999);
  EXPECT_TRUE(printer.OnUsb());
  EXPECT_TRUE(printer.Busy());
  clock.Advance(1);
  EXPECT_FALSE(printer.OnUsb());
  Send(printer, Padded(CommandPacket(0x0400)));
  EXPECT_EQ(printer.PendingAnswerBytes(), 0u);

  clock.Advance(1499);
  EXPECT_FALSE(printer.OnUsb());
  clock.Advance(1);
  EXPECT_TRUE(printer.OnUsb());
  EXPECT_EQ(printer.Arrivals(), 2u);
  EXPECT_EQ(printer.ProductId(), 0x0103);
  EXPECT_EQ(printer.Version(), "2.10");
  EXPECT_EQ(printer.ProgrammingRuns(), 1u);

  const auto status = Transact(printer, 0x0400, true);
  EXPECT_EQ(status->data[0] | status->data[1] | status->data[2], 0);
}

TEST_F(PrinterTest, CpuCodeWriteUsesTheFirstProgrammingTime) {
  VirtualPrinter printer(Config(kSmallModel), clock);
  WriteImagePadded(printer, Image(0x0002, 4, 60, "C1.0", 0x2000, 0x40), 2);
  EXPECT_EQ(printer.NextChangeMs(), clock.NowMs() + 4000);
}

TEST_F(PrinterTest, ImageWithoutProgrammingTimeStillAnswersItsEndOfWrite) {
  VirtualPrinter printer(Config(kSmallModel), clock);
  WriteImagePadded(printer, Image(0x0002, 0, 0, "2.00"), 0);  // asserts the 0x8401 answer
  clock.Advance(1);
  EXPECT_FALSE(printer.OnUsb());
}

TEST_F(PrinterTest, ThreeFileDownloadProgramsAfterTheImageFile) {
  VirtualPrinter printer(Config(kLargeModel), clock);
  const RegisterPacket registers[] = {{0xFC, 0x1A, 0x04},
                                      {0xFC, 0x18, 0xA0},
                                      {0xFC, 0x19, 0x50},
                                      {0xFC, 0x1A, 0x02},
                                      {0xFC, 0x1A, 0x01}};
  for (const RegisterPacket& r : registers) {
    ASSERT_TRUE(Transact(printer, 0x8305, false, {r[0], r[1], r[2]}));
  }
  const Bytes code(0xFC00 * 2 + 1, 0xC0);
  const Bytes table(0x24800, 0x7A);
  const Bytes image = Image(0x0496, 0, 12, "3.00", 0x20000);
  SendFile(printer, 0, code);
  SendFile(printer, 1, table);
  EXPECT_FALSE(printer.Busy());
  SendFile(printer, 2, image);
  EXPECT_TRUE(printer.Busy());

  EXPECT_EQ(printer.RegisterPackets(),
            (std::vector<RegisterPacket>(std::begin(registers), std::end(registers))));
  const auto files = printer.Files();
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].kind, 0);
  EXPECT_EQ(files[0].bytes, code);
  EXPECT_EQ(files[1].bytes, table);
  EXPECT_EQ(files[2].kind, 2);
  EXPECT_EQ(files[2].bytes, image);

  clock.Advance(12000 + 2000);
  EXPECT_EQ(printer.ProductId(), 0x0496);
  EXPECT_EQ(printer.Version(), "3.00");
}

TEST_F(PrinterTest, ImageWithoutHeaderIsNotProgrammed) {
  VirtualPrinter printer(Config(kSmallModel), clock);
  WriteImagePadded(printer, Bytes(0x100, 0x11), 0);
  EXPECT_FALSE(printer.Busy());
  EXPECT_FALSE(printer.NextChangeMs());
}

// ---------------------------------------------------------------------------------------
// Faults

TEST_F(PrinterTest, SilenceFromAPacketOrForOneCommand) {
  VirtualPrinter printer(Config(kSmallModel).SilentFromPacket(3).Silent(CommandMatch::Code(0x8008)),
                         clock);
  EXPECT_TRUE(Transact(printer, 0x0400, true));
  EXPECT_FALSE(Transact(printer, 0x8008, true));
  EXPECT_FALSE(Transact(printer, 0x0400, true));
  EXPECT_EQ(printer.Transcript().size(), 3u);
  EXPECT_FALSE(printer.Transcript()[2].answered);
}

TEST_F(PrinterTest, CommandWithoutItsParameterBytesIsRefused) {
  VirtualPrinter printer(Config(kSmallModel), clock);
  for (const uint16_t command : {uint16_t{0x8400}, uint16_t{0x8306}, uint16_t{0x8305}}) {
    EXPECT_FALSE(Transact(printer, command, true)) << command;
  }
  EXPECT_FALSE(Transact(printer, 0x8305, true, {0xFC, 0x1A}));
  EXPECT_TRUE(printer.RegisterPackets().empty());
  ASSERT_TRUE(Transact(printer, 0x8306, true, {2}));
  EXPECT_TRUE(printer.Transcript().back().answered);
}

TEST_F(PrinterTest, SpoiltAnswers) {
  VirtualPrinter printer(Config(kSmallModel)
                             .BadFirstByte(CommandMatch::Code(0x0100))
                             .ShortAnswer(CommandMatch::Code(0x8008)),
                         clock);
  EXPECT_NE(Transact(printer, 0x0100, true)->first, 0xA5);
  EXPECT_EQ(Transact(printer, 0x0400, true)->first, 0xA5);
  const auto shortAnswer = Transact(printer, 0x8008, true);
  EXPECT_EQ(shortAnswer->lengthField, 3 + 5);
  EXPECT_EQ(shortAnswer->data.size(), 4u);

  VirtualPrinter emptyShort(Config(kSmallModel).ShortAnswer(CommandMatch::All()), clock);
  const auto announced = Transact(emptyShort, 0x0301, true, {1});
  EXPECT_EQ(announced->lengthField, 4);
  EXPECT_TRUE(announced->data.empty());
}

TEST_F(PrinterTest, BusyForSomePollsOrForEver) {
  VirtualPrinter printer(Config(kSmallModel).BusyPolls(2), clock);
  EXPECT_EQ(Transact(printer, 0x0400, true)->data[0], 0x80);
  EXPECT_EQ(Transact(printer, 0x0400, true)->data[0], 0x80);
  EXPECT_EQ(Transact(printer, 0x0400, true)->data[0], 0x00);

  VirtualPrinter stuckPrinter(Config(kSmallModel).BusyForever(), clock);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Transact(stuckPrinter, 0x0400, true)->data[0], 0x80);
}

TEST_F(PrinterTest, AlertIsAnnouncedAndDetailedByItsCommandOnly) {
  VirtualPrinter printer(Config(kSmallModel).Alert(AlertForDetail(0x0407, 0x000301FE)), clock);
  const auto status = Transact(printer, 0x0400, true);
  EXPECT_EQ(status->data[2] & 0x02, 0x02);
  const auto detail = Transact(printer, 0x0407, true);
  EXPECT_NE(detail->data[0], 0);
  EXPECT_EQ(DetailCode(*detail), 0x000301FEu);
  EXPECT_EQ(Transact(printer, 0x0406, true)->data[0], 0);
}

TEST_F(PrinterTest, ErrorAfterProgrammingKeepsThePrinterOnUsbWithTheAlert) {
  VirtualPrinter printer(
      Config(kSmallModel).ErrorAfterProgramming(AlertForDetail(0x0406, 0x00030302)), clock);
  WriteImagePadded(printer, Image(0x0002, 0, 10, "2.00"), 0);
  clock.Advance(10000);
  EXPECT_TRUE(printer.OnUsb());
  EXPECT_EQ(printer.Arrivals(), 1u);
  const auto status = Transact(printer, 0x0400, true);
  EXPECT_EQ(status->data[0] & 0x80, 0);
  EXPECT_EQ(status->data[2] & 0x08, 0x08);
  EXPECT_EQ(DetailCode(*Transact(printer, 0x0406, true)), 0x00030302u);
  EXPECT_EQ(printer.Version(), "1.05");
}

TEST_F(PrinterTest, ComesBackUnderAnotherProductIdOrNever) {
  const VirtualPrinterConfig other = Config(kLargeModel).ReturnsAs(0x0496);
  VirtualPrinter moved(other, clock);
  SendFile(moved, 2, Image(0x0108, 0, 1, "4.00"));
  clock.Advance(1000 + other.restartGapMs);
  EXPECT_TRUE(moved.OnUsb());
  EXPECT_EQ(moved.ProductId(), 0x0496);

  VirtualPrinter gone(Config(kSmallModel).NeverReturns(), clock);
  WriteImagePadded(gone, Image(0x0002, 0, 1, "4.00"), 0);
  clock.Advance(3'600'000);
  EXPECT_FALSE(gone.OnUsb());
  EXPECT_EQ(gone.Arrivals(), 1u);
}

TEST_F(PrinterTest, LeavesUsbInTheMiddleOfATransfer) {
  const VirtualPrinterConfig config = Config(kLargeModel).LeavesAfterDataBytes(0xFC00 + 1);
  VirtualPrinter printer(config, clock);
  ASSERT_TRUE(Transact(printer, 0x8306, false, {0}));
  const Bytes piece(0xFC00, 0x44);
  for (int i = 0; i < 2; ++i) {
    const Bytes packet = CommandPacket(0x8308, {}, piece);
    Send(printer, Bytes(packet.begin(), packet.begin() + 6));
    Send(printer, piece);
  }
  EXPECT_FALSE(printer.OnUsb());
  EXPECT_TRUE(printer.Files().empty());
  EXPECT_EQ(printer.Transcript().back().answered, false);

  clock.Advance(config.restartGapMs);
  EXPECT_TRUE(printer.OnUsb());
  EXPECT_EQ(printer.ProductId(), 0x0108);
  EXPECT_EQ(printer.Version(), "1.05");
  EXPECT_TRUE(Transact(printer, 0x0400, false));
}

}  // namespace
}  // namespace kiln::sim
