// The command transaction and the typed commands, byte for byte.
#include "protocol/prn_cmd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/scripted_channel.h"
#include "support/temp_dir.h"

namespace kiln::protocol {
namespace {

using Bytes = std::vector<uint8_t>;
using kiln::testing::ScriptedChannel;
using usb::ResultCode;

class Transaction : public ::testing::Test {
 protected:
  ScriptedChannel channel_;
  std::unique_ptr<CPrnCmd> prn_ = std::make_unique<CPrnCmd>(&channel_, SendMode::kPadded);
};

Bytes Padded(Bytes packet, std::size_t size) {
  packet.resize(size, 0);
  return packet;
}

TEST_F(Transaction, BareCommandIsPaddedTo64BytesOrSentAsSix) {
  channel_.QueueAnswer({0, 0, 0});
  EXPECT_EQ(prn_->DoCommand(cmd::kStatusSummary), ResultCode::kAnswered);
  ASSERT_EQ(channel_.writes.size(), 1u);
  EXPECT_EQ(channel_.writes[0], Padded({0xA5, 0x00, 0x03, 0x50, 0x04, 0x00}, 64));

  prn_ = std::make_unique<CPrnCmd>(&channel_, SendMode::kUnpadded);
  channel_.QueueAnswer({0, 0, 0});
  EXPECT_EQ(prn_->DoCommand(cmd::kStatusSummary), ResultCode::kAnswered);
  EXPECT_EQ(channel_.writes[1], (Bytes{0xA5, 0x00, 0x03, 0x50, 0x04, 0x00}));
}

TEST_F(Transaction, PaddingRoundsUpOnlyWhenNeededAndIsZero) {
  // Leave stale bytes in the send buffer first: the padding must still be zero.
  // They reach past the end of the data packet that follows, into its padding.
  const Bytes big(kDataPieceSize + 0x40, 0xEE);
  const uint8_t header[6] = {0xA5, 0x00, 0xCB, 0x40, 0x83, 0x01};
  ASSERT_EQ(prn_->SendCommand(header, 6, big.data(), kDataPieceSize + 0x40, true),
            ResultCode::kWritten);

  const Bytes piece(kDataPieceSize, 0x11);
  const uint8_t dataHeader[6] = {0xA5, 0xFC, 0x03, 0x40, 0x83, 0x01};
  ASSERT_EQ(prn_->SendCommand(dataHeader, 6, piece.data(), kDataPieceSize, true),
            ResultCode::kWritten);
  ASSERT_EQ(channel_.writes[1].size(), 0xFC40u);
  EXPECT_EQ(channel_.writes[1][6], 0x11);
  EXPECT_EQ(channel_.writes[1][6 + kDataPieceSize - 1], 0x11);
  EXPECT_TRUE(std::all_of(channel_.writes[1].begin() + 6 + kDataPieceSize, channel_.writes[1].end(),
                          [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(prn_->bytesSent(), 0xFC40u);

  const Bytes exact(58, 0x22);  // 6 + 58 = 64: no padding
  ASSERT_EQ(prn_->SendCommand(header, 6, exact.data(), 58, false), ResultCode::kWritten);
  EXPECT_EQ(channel_.writes[2].size(), 64u);
  EXPECT_EQ(channel_.events, (std::vector<std::string>{"lock", "write", "unlock", "lock", "write",
                                                       "unlock", "write"}));
}

TEST_F(Transaction, AnsweredCommandHoldsTheIoRightAcrossWriteAndRead) {
  channel_.QueueAnswer({1, 2});
  EXPECT_EQ(prn_->DoCommand(0x8008), ResultCode::kAnswered);
  EXPECT_EQ(channel_.events, (std::vector<std::string>{"lock", "write", "read", "read", "unlock"}));
}

TEST_F(Transaction, DoCommand3HeaderRules) {
  for (int i = 0; i < 4; ++i) channel_.QueueAnswer({});
  EXPECT_EQ(prn_->DoCommand3(cmd::kWriteStart, 0, 0), ResultCode::kAnswered);
  EXPECT_EQ(Bytes(channel_.writes[0].begin(), channel_.writes[0].begin() + 8),
            (Bytes{0xA5, 0x00, 0x04, 0x50, 0x84, 0x00, 0x00, 0x00}));
  EXPECT_EQ(prn_->DoCommand3(0x1234, 0, 7), ResultCode::kAnswered);
  EXPECT_EQ(Bytes(channel_.writes[1].begin(), channel_.writes[1].begin() + 7),
            (Bytes{0xA5, 0x00, 0x03, 0x50, 0x12, 0x34, 0x00}));
  EXPECT_EQ(prn_->DoCommand3(0x8407, 1, 0), ResultCode::kAnswered);
  EXPECT_EQ(Bytes(channel_.writes[2].begin(), channel_.writes[2].begin() + 8),
            (Bytes{0xA5, 0x00, 0x05, 0x50, 0x84, 0x07, 0x01, 0x00}));
  EXPECT_TRUE(channel_.fakeClock.Pauses().empty());
  EXPECT_EQ(prn_->DoCommand3(cmd::kJobReset, 2, 0), ResultCode::kAnswered);
  EXPECT_EQ(Bytes(channel_.writes[3].begin(), channel_.writes[3].begin() + 8),
            (Bytes{0xA5, 0x00, 0x04, 0x50, 0x03, 0x01, 0x02, 0x00}));
  EXPECT_EQ(channel_.fakeClock.Pauses(), (std::vector<uint32_t>{500}));

  prn_ = std::make_unique<CPrnCmd>(&channel_, SendMode::kUnpadded);
  channel_.QueueAnswer({});
  EXPECT_EQ(prn_->DoCommand(cmd::kQuery040C), ResultCode::kAnswered);
  EXPECT_EQ(channel_.writes[4], (Bytes{0xA5, 0x00, 0x04, 0x50, 0x04, 0x0C, 0x00}));
}

TEST_F(Transaction, LargeModelSplitsFileDataAndSendsRegistersUnpadded) {
  prn_ = std::make_unique<CPrnCmd>(&channel_, SendMode::kUnpadded);
  const Bytes piece(100, 0x33);
  channel_.QueueAnswer({});
  EXPECT_EQ(prn_->DoCmdSendData(cmd::kFileData, piece.data(), 100), ResultCode::kAnswered);
  ASSERT_EQ(channel_.writes.size(), 2u);
  EXPECT_EQ(channel_.writes[0], (Bytes{0xA5, 0x00, 0x67, 0x50, 0x83, 0x08}));
  EXPECT_EQ(channel_.writes[1], piece);
  EXPECT_EQ(prn_->bytesSent(), 106u);

  channel_.QueueAnswer({});
  EXPECT_EQ(prn_->SendAsicRegisterPara(0xFC, 0x1A, 0x04), ResultCode::kAnswered);
  EXPECT_EQ(channel_.writes[2], (Bytes{0xA5, 0x00, 0x06, 0x50, 0x83, 0x05, 0xFC, 0x1A, 0x04}));

  // A non-split command with a payload goes out in one unpadded write.
  channel_.QueueAnswer({});
  EXPECT_EQ(prn_->DoCmdSendData(0x1111, piece.data(), 10), ResultCode::kAnswered);
  EXPECT_EQ(channel_.writes[3].size(), 16u);
}

TEST_F(Transaction, OversizedDataIsRefusedWithoutSending) {
  const Bytes largest(0xFFFC, 0x33);
  channel_.QueueAnswer({});
  EXPECT_EQ(prn_->DoCmdSendData(cmd::kFileData, largest.data(), 0xFFFC), ResultCode::kAnswered);
  ASSERT_EQ(channel_.writes.size(), 1u);
  EXPECT_EQ(channel_.writes[0][1], 0xFF);
  EXPECT_EQ(channel_.writes[0][2], 0xFF);
  channel_.writes.clear();
  channel_.events.clear();

  const Bytes data(0xFFFD, 0);
  EXPECT_EQ(prn_->DoCmdSendData(cmd::kFileData, data.data(), 0xFFFD), ResultCode::kPayloadTooLong);
  EXPECT_TRUE(channel_.writes.empty());
  const Bytes huge(kBufferSize, 0);
  const uint8_t header[6] = {0xA5, 0, 3, 0x40, 0x83, 0x01};
  EXPECT_EQ(prn_->SendCommand(header, 6, huge.data(), kBufferSize, true),
            ResultCode::kPayloadTooLong);
  EXPECT_TRUE(channel_.writes.empty());
  EXPECT_EQ(channel_.events, (std::vector<std::string>{"lock", "unlock"}))
      << "the I/O right is given back on the refusal too";
}

TEST_F(Transaction, ResponseHandling) {
  channel_.QueueAnswer({});
  EXPECT_EQ(prn_->DoCommand(0x8401), ResultCode::kAnswered);
  const uint8_t* data = reinterpret_cast<const uint8_t*>(1);
  uint32_t length = 99;
  prn_->GetResponseData(&data, &length);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(length, 0u);

  channel_.QueueBytes({0x5A, 0x00, 0x05, 0x50, 0, 0, 1, 2});
  EXPECT_EQ(prn_->DoCommand(0x0400), ResultCode::kBadResponseHeader);
  EXPECT_EQ(prn_->lastError(), 0x21u);
  channel_.pending.clear();

  channel_.QueueBytes({0xA5, 0x00, 0x08, 0x50, 0, 0, 1, 2});  // 5 announced, 2 sent
  EXPECT_EQ(prn_->DoCommand(0x0400), ResultCode::kShortResponse);
  EXPECT_EQ(prn_->responseLength(), 2);
  EXPECT_EQ(prn_->lastError(), 0x22u);

  channel_.QueueBytes({0xA5, 0x00, 0x01, 0x50, 0, 0});  // length field below 3
  EXPECT_EQ(prn_->DoCommand(0x0400), ResultCode::kShortResponse);

  channel_.QueueBytes({0xA5, 0x00});  // header cut short
  EXPECT_EQ(prn_->DoCommand(0x0400), ResultCode::kReadTimeOut);

  channel_.failWrites = true;
  EXPECT_EQ(prn_->DoCommand(0x0400), ResultCode::kWriteTimeOut);
  EXPECT_EQ(channel_.events.back(), "unlock");
  EXPECT_EQ(prn_->lastError(), 0x16u);

  CPrnCmd unbound(nullptr, SendMode::kPadded);
  EXPECT_EQ(unbound.DoCommand(0x0400), ResultCode::kNoLink);
  EXPECT_EQ(unbound.GetResponse(), ResultCode::kNoLink);
}

Bytes ProductInfoAnswer(const std::string& name, const std::string& rev) {
  Bytes answer(33, 0x77);
  answer.push_back(static_cast<uint8_t>(name.size()));
  answer.insert(answer.end(), name.begin(), name.end());
  answer.push_back(static_cast<uint8_t>(rev.size()));
  answer.insert(answer.end(), rev.begin(), rev.end());
  answer.push_back(3);
  answer.insert(answer.end(), {'x', 'y', 'z', 0x12, 0x34});
  return answer;
}

TEST_F(Transaction, ProductInformationAndRevision) {
  channel_.QueueAnswer(ProductInfoAnswer("Printer", "1.07a"));
  char revision[24] = {};
  EXPECT_EQ(prn_->GetProductRev(revision, sizeof revision), ResultCode::kAnswered);
  EXPECT_STREQ(revision, "1.07a");

  channel_.QueueAnswer(ProductInfoAnswer("N", std::string(40, 'r')));
  ProductInfo info;
  EXPECT_EQ(prn_->DoCmdGetData(cmd::kProductInfo, &info, sizeof info), ResultCode::kAnswered);
  EXPECT_EQ(info.productName, "N");
  EXPECT_EQ(info.productRev.view(), std::string(23, 'r'));
  EXPECT_EQ(info.thirdText, "xyz");
  EXPECT_EQ(info.value, 0x1234);

  // A truncated answer decodes what is there and never reads past it.
  Bytes cut = ProductInfoAnswer("Name", "2.00");
  cut.resize(36);
  channel_.QueueAnswer(cut);
  EXPECT_EQ(prn_->DoCmdGetData(cmd::kProductInfo, &info, sizeof info), ResultCode::kAnswered);
  EXPECT_EQ(info.productName, "Na");
  EXPECT_TRUE(info.productRev.empty());
}

TEST_F(Transaction, StatusRecordLayouts) {
  Bytes answer(25);
  for (std::size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<uint8_t>(i + 1);
  channel_.QueueAnswer(answer);
  uint8_t record[32];
  std::fill(std::begin(record), std::end(record), 0xEE);
  EXPECT_EQ(prn_->DoCmdGetData(cmd::kStatusRecord, record, sizeof record), ResultCode::kAnswered);
  EXPECT_EQ(record[0], 1);
  uint16_t first = 0;
  std::memcpy(&first, record + 4, 2);
  EXPECT_EQ(first, 0x0203) << "answer bytes 1-2 read big-endian";
  EXPECT_EQ(record[16], 14);
  EXPECT_EQ(record[28], 22);
  for (int i = 24; i < 28; ++i) EXPECT_EQ(record[i], 0) << "short answer leaves byte " << i;
  EXPECT_EQ(record[30], 18);
  EXPECT_EQ(record[31], 18);

  channel_.model = 37;
  channel_.QueueAnswer(answer);
  std::fill(std::begin(record), std::end(record), 0xEE);
  EXPECT_EQ(prn_->DoCmdGetData(cmd::kStatusRecord, record, sizeof record), ResultCode::kAnswered);
  std::memcpy(&first, record + 2, 2);
  EXPECT_EQ(first, 0x0203);
  EXPECT_EQ(record[4], 4);
  EXPECT_EQ(record[15], 0);
  EXPECT_EQ(record[16], 0xEE) << "a card record is 16 bytes";

  // A failed transaction leaves the record untouched.
  std::fill(std::begin(record), std::end(record), 0xEE);
  EXPECT_EQ(prn_->DoCmdGetData(cmd::kStatusRecord, record, sizeof record),
            ResultCode::kReadTimeOut);
  EXPECT_EQ(record[0], 0xEE);
}

TEST_F(Transaction, SmallRecordsAndPlainCopies) {
  channel_.QueueAnswer({9, 8, 7, 6});
  uint8_t record[8];
  std::fill(std::begin(record), std::end(record), 0xEE);
  EXPECT_EQ(prn_->DoCmdGetData(cmd::kQuery040C, record, 1), ResultCode::kAnswered);
  EXPECT_EQ(record[0], 7);
  EXPECT_EQ(record[1], 0xEE);

  channel_.QueueAnswer({9, 8, 7, 6});
  EXPECT_EQ(prn_->DoCmdGetData(cmd::kQuery8001, record, 8), ResultCode::kAnswered);
  EXPECT_EQ(Bytes(record, record + 8), (Bytes{9, 8, 0, 0, 0, 0, 0, 0}));

  channel_.QueueAnswer({1, 2, 3, 4, 5});
  std::fill(std::begin(record), std::end(record), 0xEE);
  EXPECT_EQ(prn_->DoCmdGetData(0x8008, record, 3), ResultCode::kAnswered);
  EXPECT_EQ(Bytes(record, record + 4), (Bytes{1, 2, 3, 0xEE}));
}

TEST_F(Transaction, TraceLinesOfACommand) {
  kiln::testing::TempDir dir;
  const std::string path = dir.File("trace.log");
  channel_.debugLog.Open(std::fopen(path.c_str(), "wb"), 1);
  channel_.QueueAnswer({0x20, 0, 0});
  EXPECT_EQ(prn_->DoCommand(cmd::kStatusSummary), ResultCode::kAnswered);
  channel_.debugLog.Reset();
  EXPECT_EQ(kiln::testing::TempDir::Read(path),
            "CPrnCmd::GetResponse(1)::return 0x20, header length = 6, received = 6,\n"
            "--> A5 00 06 50 00 00 \n\n\n"
            "CPrnCmd::GetResponse(3)::return 0x20, wanted = 3, received = 3,\n"
            "--> 20 00 00 \n\n\n"
            "==>DoCommand(0x0400):: return = 0x20, response length = 3,\n"
            "--> 20 00 00 \n\n\n");
}

}  // namespace
}  // namespace kiln::protocol
