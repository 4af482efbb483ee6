// The image download, the three-file download and the image patches, packet by packet.
#include "protocol/data_transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "config/firmware_package.h"
#include "protocol/image_patching.h"
#include "support/command_count.h"
#include "support/scripted_channel.h"
#include "support/temp_dir.h"

namespace kiln::protocol {
namespace {

using Bytes = std::vector<uint8_t>;
using kiln::testing::CountOf;
using kiln::testing::ScriptedChannel;
using kiln::testing::TempDir;

// A large model's code or table file as the update loads it.
config::LoadedFile Loaded(const std::string& path) {
  return config::LoadFile(path);
}

uint16_t LengthField(const Bytes& packet) {
  return static_cast<uint16_t>(packet[1] << 8 | packet[2]);
}

class Transfer : public ::testing::Test {
 protected:
  void SetUp() override { channel_.autoAnswer = true; }
  ScriptedChannel channel_;
  std::unique_ptr<CPrnCmd> prn_ = std::make_unique<CPrnCmd>(&channel_, SendMode::kPadded);
  TempDir dir_;
};

TEST_F(Transfer, ImageGoesOutAsStartDataPacketsAndEnd) {
  const Bytes image(kDataPieceSize + 1, 0x42);
  EXPECT_EQ(WriteFirmwareImage(*prn_, image.data(), static_cast<uint32_t>(image.size()), 1),
            TransferOutcome::kSent);
  EXPECT_EQ(channel_.Commands(), (std::vector<uint16_t>{0x8400, 0x8301, 0x8301, 0x8401}));
  EXPECT_EQ(channel_.writes[0][6], 1) << "the write type";
  EXPECT_EQ(channel_.writes[1].size(), 0xFC40u);
  EXPECT_EQ(channel_.writes[1][3], 0x40) << "data packets are not answered";
  EXPECT_EQ(LengthField(channel_.writes[2]), 4) << "a 1-byte payload";
  EXPECT_EQ(channel_.writes[2].size(), 64u);
  EXPECT_EQ(channel_.fakeClock.Pauses(), (std::vector<uint32_t>{500}));
  // Each data packet takes and gives back the I/O right on its own.
  EXPECT_EQ(std::count(channel_.events.begin(), channel_.events.end(), "lock"), 4);
}

TEST_F(Transfer, ImageOfExactlyOnePieceIsOnePacket) {
  const Bytes image(kDataPieceSize, 0x42);
  EXPECT_EQ(WriteFirmwareImage(*prn_, image.data(), kDataPieceSize, 0), TransferOutcome::kSent);
  EXPECT_EQ(channel_.Commands(), (std::vector<uint16_t>{0x8400, 0x8301, 0x8401}));
}

TEST_F(Transfer, RefusedStartFailsThePrinterAnUnansweredEndIsToldApart) {
  channel_.autoAnswer = false;
  const Bytes image(100, 1);
  EXPECT_EQ(WriteFirmwareImage(*prn_, image.data(), 100, 0), TransferOutcome::kRejected);
  EXPECT_EQ(channel_.Commands(), (std::vector<uint16_t>{0x8400})) << "no data without a start";

  channel_.ScriptAnswer(0x8400, {});
  EXPECT_EQ(WriteFirmwareImage(*prn_, image.data(), 100, 0), TransferOutcome::kEndUnanswered);
  EXPECT_EQ(channel_.Commands().back(), 0x8401);
}

TEST_F(Transfer, LargeModelUnansweredEndFailsAnEarlyFileOnlyTheImageIsLeftOpen) {
  prn_ = std::make_unique<CPrnCmd>(&channel_, SendMode::kUnpadded);
  channel_.autoAnswer = false;
  const config::LoadedFile code = Loaded(dir_.Write("code.bin", std::string(10, 'c')));
  const config::LoadedFile table = Loaded(dir_.Write("table.bin", std::string(10, 't')));
  const Bytes image(20, 'i');
  for (int piece = 0; piece < 4; ++piece) channel_.ScriptAnswer(0x8308, {});
  // The code file's end goes unanswered: the table and the image never go out.
  EXPECT_EQ(WriteFirmwareFiles(*prn_, true, nullptr, code, table, image.data(), 20),
            TransferOutcome::kRejected);
  EXPECT_EQ(CountOf(channel_.Commands(), 0x8307), 1u);

  channel_.writes.clear();
  for (int end = 0; end < 2; ++end) channel_.ScriptAnswer(0x8307, {});
  EXPECT_EQ(WriteFirmwareFiles(*prn_, true, nullptr, code, table, image.data(), 20),
            TransferOutcome::kEndUnanswered);
  EXPECT_EQ(CountOf(channel_.Commands(), 0x8307), 3u);
}

TEST_F(Transfer, LargeModelSendsRegistersAndThreeAnnouncedFiles) {
  prn_ = std::make_unique<CPrnCmd>(&channel_, SendMode::kUnpadded);
  const config::LoadedFile code =
      Loaded(dir_.Write("code.bin", std::string(2 * kDataPieceSize + 1, 'c')));
  const config::LoadedFile table = Loaded(dir_.Write("table.bin", std::string(10, 't')));
  const Bytes image(20, 'i');

  EXPECT_EQ(WriteFirmwareFiles(*prn_, true, nullptr, code, table, image.data(), 20),
            TransferOutcome::kSent);
  const std::vector<uint16_t> expected = {
      0x8305, 0x8305, 0x8305, 0x8305, 0x8305,  // registers
      0x8306, 0x8308, 0x8308, 0x8308, 0x8307,  // code file in three pieces
      0x8306, 0x8308, 0x8307,                  // table file
      0x8306, 0x8308, 0x8307};                 // image
  EXPECT_EQ(channel_.Commands(), expected);
  EXPECT_EQ(channel_.writes[1], (Bytes{0xA5, 0x00, 0x06, 0x50, 0x83, 0x05, 0xFC, 0x18, 0xA0}));
  // Each file is announced with its kind: code 0, table 1, image 2.
  EXPECT_EQ(channel_.writes[5], (Bytes{0xA5, 0x00, 0x04, 0x50, 0x83, 0x06, 0x00}));
  EXPECT_EQ(channel_.writes[13], (Bytes{0xA5, 0x00, 0x04, 0x50, 0x83, 0x06, 0x01}));
  EXPECT_EQ(channel_.writes[17], (Bytes{0xA5, 0x00, 0x04, 0x50, 0x83, 0x06, 0x02}));
  // A piece is a 6-byte header write followed by the piece itself.
  EXPECT_EQ(channel_.writes[6].size(), 6u);
  EXPECT_EQ(channel_.writes[7].size(), kDataPieceSize);
  EXPECT_EQ(LengthField(channel_.writes[10]), 4);
  EXPECT_EQ(channel_.writes[11], Bytes(1, 'c'));

  // Every settle is a plain 2-second pause; each closed file is followed by 500 ms.
  EXPECT_EQ(channel_.fakeClock.Pauses(),
            (std::vector<uint32_t>{2000, 500, 2000, 2000, 500, 2000, 2000, 500}));
}

TEST_F(Transfer, MissingTableFileStopsBeforeTheImage) {
  prn_ = std::make_unique<CPrnCmd>(&channel_, SendMode::kUnpadded);
  const config::LoadedFile code = Loaded(dir_.Write("code.bin", "code"));
  const config::LoadedFile table = Loaded(dir_.File("missing.bin"));
  const Bytes image(20, 'i');
  EXPECT_EQ(WriteFirmwareFiles(*prn_, true, nullptr, code, table, image.data(), 20),
            TransferOutcome::kFileUnreadable);
  const std::vector<uint16_t> commands = channel_.Commands();
  EXPECT_EQ(std::vector<uint16_t>(commands.begin() + 5, commands.end()),
            (std::vector<uint16_t>{0x8306, 0x8308, 0x8307}));
}

TEST_F(Transfer, UnansweredPieceEndsTheFileAndFailsThePrinter) {
  prn_ = std::make_unique<CPrnCmd>(&channel_, SendMode::kUnpadded);
  channel_.autoAnswer = false;
  for (int i = 0; i < 6; ++i) channel_.QueueAnswer({});  // registers and the announcement
  const config::LoadedFile code = Loaded(dir_.Write("code.bin", "code"));
  const config::LoadedFile table = Loaded(dir_.Write("table.bin", "table"));
  const Bytes image(20, 'i');
  EXPECT_EQ(WriteFirmwareFiles(*prn_, true, nullptr, code, table, image.data(), 20),
            TransferOutcome::kRejected);
  EXPECT_EQ(channel_.Commands().back(), 0x8308) << "no end of file, no further files";
}

// A table file whose every byte tells its region.
std::string TableFile(std::size_t size) {
  std::string table(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    table[i] = i < 0x800 ? 'C' : (i < 0x20800 ? 'H' : 'T');
  }
  return table;
}

TEST_F(Transfer, TableMergeLayouts) {
  FixedText<512> result;
  const std::string table = dir_.Write("table.bin", TableFile(config::kTableFileSize));
  Bytes image(0x70000, 0);
  ASSERT_TRUE(MergeTableFile(config::LoadFile(table), "fw.bin", image, 7, result));
  EXPECT_EQ(image[0x2E000], 'C');
  EXPECT_EQ(image[0x2E7FF], 'C');
  EXPECT_EQ(image[0x2E800], 0);
  EXPECT_EQ(image[0x30000], 'H');
  EXPECT_EQ(image[0x4FFFF], 'H');
  EXPECT_EQ(image[0x64000], 'T');
  EXPECT_EQ(image[0x67FFF], 'T');
  EXPECT_EQ(image[0x68000], 0);

  Bytes single(0x60000, 0);
  ASSERT_TRUE(MergeTableFile(config::LoadFile(table), "fw.bin", single, 22, result));
  EXPECT_EQ(single[0x4D000], 'C');
  EXPECT_EQ(single[0x50FFF], 'H') << "model 22 takes the first 0x4000 bytes as one block";
  EXPECT_EQ(single[0x51000], 0);
  EXPECT_EQ(single[0x2E000], 0);
}

TEST_F(Transfer, TooSmallFilesRefuseTheMerge) {
  FixedText<512> result;
  const std::string shortTable = dir_.Write("short.bin", TableFile(0x24000));
  Bytes image(0x70000, 0);
  EXPECT_FALSE(MergeTableFile(config::LoadFile(shortTable), "fw.bin", image, 7, result));
  EXPECT_NE(result.view().find("short.bin"), std::string_view::npos) << result.c_str();
  EXPECT_EQ(image[0x2E000], 0) << "nothing merged";

  const std::string table = dir_.Write("table.bin", TableFile(config::kTableFileSize));
  Bytes small(0x67FFF, 0);
  EXPECT_FALSE(MergeTableFile(config::LoadFile(table), "fw.bin", small, 7, result));
  EXPECT_EQ(small[0x2E000], 0);

  EXPECT_TRUE(MergeTableFile(config::LoadFile(shortTable), "fw.bin", image, 22, result))
      << "model 22 needs 0x4000";
  EXPECT_FALSE(
      MergeTableFile(config::LoadFile(dir_.File("absent.bin")), "fw.bin", image, 7, result));
}

TEST(PatchedImageTest, PiecesCarryThePatchesTheyTouchAndOnlyThose) {
  Bytes loaded(64);
  std::iota(loaded.begin(), loaded.end(), 0);
  const Bytes table(20, 0xAA), block(8, 0xBB);
  PatchedImage image(loaded.data(), 64);
  image.Lay(10, table.data(), 20);  // 10..29
  image.Lay(26, block.data(), 8);   // 26..33, over the table's end
  image.Lay(60, block.data(), 8);   // clipped to 60..63
  image.Lay(64, block.data(), 8);   // wholly outside: dropped
  Bytes expected = loaded;
  std::fill(expected.begin() + 10, expected.begin() + 26, 0xAA);
  std::fill(expected.begin() + 26, expected.begin() + 34, 0xBB);
  std::fill(expected.begin() + 60, expected.end(), 0xBB);

  Bytes scratch;
  for (uint32_t pieceSize : {1u, 7u, 10u, 16u, 64u}) {
    SCOPED_TRACE(pieceSize);
    Bytes sent;
    for (uint32_t at = 0; at < 64; at += pieceSize) {
      const uint32_t length = std::min(pieceSize, 64 - at);
      const uint8_t* piece = image.Piece(at, length, scratch);
      sent.insert(sent.end(), piece, piece + length);
    }
    EXPECT_EQ(sent, expected);
  }
  EXPECT_EQ(loaded[12], 12) << "the loaded bytes are never written";
  EXPECT_EQ(image.Piece(0, 10, scratch), loaded.data()) << "an untouched piece is not copied";
  EXPECT_EQ(image.Piece(34, 26, scratch), loaded.data() + 34);
}

Bytes ValidBlock(std::size_t size) {
  Bytes block(size);
  for (std::size_t i = 0; i + 2 < size; ++i) block[i] = static_cast<uint8_t>(i * 13);
  block[size - 2] = config::kDeviceBlockMarker;
  const uint8_t sum = static_cast<uint8_t>(std::accumulate(block.begin(), block.end() - 1, 0u));
  block[size - 1] = static_cast<uint8_t>(0xFF - sum - config::kDeviceBlockMarker);
  return block;
}

class BlockReadBack : public Transfer {
 protected:
  // The printer holds block and hands it out in pieces of 0x800 bytes.
  void PrinterHolds(const Bytes& block, uint32_t flagByte = 19) {
    Bytes record(29, 0);
    record[flagByte] = 0x10;
    channel_.ScriptAnswer(cmd::kStatusRecord, record);
    channel_.ScriptAnswer(cmd::kBlockReadStart, {}, 0x51);
    for (std::size_t at = 0; at < block.size(); at += 0x800) {
      const std::size_t n = std::min<std::size_t>(0x800, block.size() - at);
      channel_.ScriptAnswer(cmd::kBlockReadNext, Bytes(block.begin() + at, block.begin() + at + n));
    }
    channel_.ScriptAnswer(cmd::kBlockReadNext, {});
  }
};

TEST_F(BlockReadBack, ValidBlockGoesToItsModelsOffset) {
  const Bytes block = ValidBlock(0x1234);
  PrinterHolds(block);
  Bytes image(0x100000, 0);
  PreserveDeviceBlock(*prn_, image, 25, 25);
  EXPECT_EQ(Bytes(image.begin() + models::kDeviceBlockOffset,
                  image.begin() + models::kDeviceBlockOffset + 0x1234),
            block);

  PrinterHolds(block, 3);  // a card printer flags its block in answer byte 3
  Bytes card(0x100000, 0);
  PreserveDeviceBlock(*prn_, card, 13, 37);
  EXPECT_EQ(Bytes(card.begin() + models::QuirksOf(13).deviceBlockOffset,
                  card.begin() + models::QuirksOf(13).deviceBlockOffset + 0x1234),
            block);
}

TEST_F(BlockReadBack, BadLongOrMisfittingBlocksLeaveTheImage) {
  Bytes bad = ValidBlock(0x100);
  bad[5] ^= 0xFF;
  PrinterHolds(bad);
  Bytes image(0x100000, 0);
  PreserveDeviceBlock(*prn_, image, 25, 25);
  EXPECT_EQ(std::count(image.begin(), image.end(), 0), static_cast<long>(image.size()));

  PrinterHolds(ValidBlock(0x3800));
  PreserveDeviceBlock(*prn_, image, 25, 25);
  EXPECT_EQ(std::count(image.begin(), image.end(), 0), static_cast<long>(image.size()));
  EXPECT_EQ(channel_.Commands().back(), cmd::kBlockReadNext);

  PrinterHolds(ValidBlock(0x100));
  Bytes shortImage(models::kDeviceBlockOffset + 0xFF, 0);
  PreserveDeviceBlock(*prn_, shortImage, 25, 25);
  EXPECT_EQ(std::count(shortImage.begin(), shortImage.end(), 0),
            static_cast<long>(shortImage.size()));
}

TEST_F(BlockReadBack, NoFlagOrWrongHeaderMarkReadsNothing) {
  channel_.ScriptAnswer(cmd::kStatusRecord, Bytes(29, 0));
  Bytes image(0x100000, 0);
  PreserveDeviceBlock(*prn_, image, 25, 25);
  EXPECT_EQ(channel_.Commands(), (std::vector<uint16_t>{cmd::kStatusRecord}));

  Bytes record(29, 0);
  record[19] = 0x10;
  channel_.ScriptAnswer(cmd::kStatusRecord, record);
  channel_.ScriptAnswer(cmd::kBlockReadStart, {}, 0x52);
  PreserveDeviceBlock(*prn_, image, 25, 25);
  EXPECT_EQ(channel_.Commands().back(), cmd::kBlockReadStart);
}

}  // namespace
}  // namespace kiln::protocol
