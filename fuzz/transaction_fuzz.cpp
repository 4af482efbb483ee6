// The response side of the command transaction: a printer that answers every command
// with fuzzed bytes, through the bare and decoded commands, the status and alert checks
// and the busy wait.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "protocol/answer_decoders.h"
#include "protocol/prn_cmd.h"
#include "support/fuzz_channel.h"
#include "support/fuzz_input.h"

namespace {

using kiln::fuzz::AnswerStream;
using kiln::fuzz::FuzzInput;
namespace protocol = kiln::protocol;
namespace usb = kiln::usb;

constexpr uint16_t kDecodedCodes[] = {0x8000, 0x0100, 0x040C, 0x8001, 0x8008, 0x0400};
constexpr uint16_t kDetailCodes[] = {0x0403, 0x0405, 0x0406, 0x0407, 0x0408, 0x040A};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "transaction fuzz: %s\n", what);
  std::abort();
}

void GetData(FuzzInput& in, protocol::CPrnCmd& prn) {
  const uint8_t pick = in.Byte();
  const uint16_t code = pick < 0xF0 ? kDecodedCodes[pick % std::size(kDecodedCodes)] : in.U16();
  const uint32_t maxLength = in.Byte() % 200;
  std::vector<uint8_t> record(maxLength + 16, 0xA7);
  (void)prn.DoCmdGetData(code, record.data(), maxLength);
  for (std::size_t i = maxLength; i < record.size(); ++i) {
    if (record[i] != 0xA7) Fail("decoded record written past its length");
  }
}

void Revision(FuzzInput& in, protocol::CPrnCmd& prn) {
  const uint32_t size = in.Byte() % 40;
  char revision[48];
  std::memset(revision, 0x7F, sizeof revision);
  if (prn.GetProductRev(revision, size) == usb::ResultCode::kAnswered && size > 0 &&
      std::memchr(revision, '\0', size) == nullptr) {
    Fail("revision not terminated within its buffer");
  }
  if (revision[size] != 0x7F && size > 0) Fail("revision written past its buffer");
}

// A data packet of a fuzzed length (up to past the largest the length field can carry),
// answered like any other command.
void SendData(FuzzInput& in, protocol::CPrnCmd& prn) {
  constexpr uint32_t kSpan = 0x10100;
  static const std::vector<uint8_t> data(kSpan, 0x5A);
  const uint32_t length = (static_cast<uint32_t>(in.Byte()) << 9 | in.Byte()) % kSpan;
  const usb::ResultCode result = prn.DoCmdSendData(in.U16(), data.data(), length);
  if (length > protocol::kMaxSendDataLength && result != usb::ResultCode::kPayloadTooLong) {
    Fail("an oversized data packet was not refused");
  }
}

void Decoders(FuzzInput& in) {
  const std::string answer(in.Bytes(in.Byte()));
  const auto* bytes = reinterpret_cast<const uint8_t*>(answer.data());
  uint8_t record[protocol::kStatusRecordSize + 8];
  std::memset(record, 0xA7, sizeof record);
  const std::size_t n = protocol::DecodeStatusRecord(bytes, answer.size(), in.Bool(), record);
  if (n > protocol::kStatusRecordSize || record[protocol::kStatusRecordSize] != 0xA7) {
    Fail("status record beyond its size");
  }
  const protocol::ProductInfo info = protocol::DecodeProductInfo(bytes, answer.size());
  if (info.productRev.size() >= 24 || info.productName.size() >= 64) Fail("texts beyond limits");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static AnswerStream answers;
  static kiln::fuzz::FuzzChannel channel(answers, 7);
  // One protocol object per send mode, made once: each holds two 256 KiB buffers.
  static protocol::CPrnCmd padded(&channel, protocol::SendMode::kPadded);
  static protocol::CPrnCmd unpadded(&channel, protocol::SendMode::kUnpadded);

  FuzzInput in(data, size);
  const uint8_t setup = in.Byte();
  channel.SetModel(1 + setup % 38);
  // The full trace, data dumps included, goes nowhere but formats every answer.
  if ((setup & 0x80) != 0) {
    channel.log().Open(std::fopen("/dev/null", "w"), 5);
  } else {
    channel.log().Reset();
  }
  protocol::CPrnCmd& prn = (setup & 0x40) == 0 ? padded : unpadded;

  // The first bytes script the host's calls; the printer answers with the rest.
  const std::string calls(in.Bytes(in.Byte() % 16));
  answers = AnswerStream(in.Rest());
  FuzzInput script(reinterpret_cast<const uint8_t*>(calls.data()), calls.size());
  while (!script.Empty()) {
    const bool show = script.Bool();
    uint32_t errorCode = 0;
    switch (script.Byte() % 10) {
      case 0:
        (void)prn.DoCommand(script.U16());
        break;
      case 1:
        GetData(script, prn);
        break;
      case 2:
        (void)prn.CheckDeviceStatus(&errorCode, {.show = show,
                                                 .suppress = script.Bool(),
                                                 .forceAlertReport = script.Bool(),
                                                 .busyWaitFirst = script.Bool()});
        break;
      case 3:
        (void)prn.CheckDeviceAlert(
            kDetailCodes[script.Byte() % std::size(kDetailCodes)], &errorCode,
            {.show = show, .suppress = script.Bool(), .forceReport = script.Bool()});
        break;
      case 4:
        (void)prn.WaitBusy(250, script.Bool());
        break;
      case 5:
        Revision(script, prn);
        break;
      case 6:
        (void)prn.DoCommand3(script.U16(), script.Byte(), script.Byte());
        break;
      case 7:
        SendData(script, prn);
        break;
      case 8:
        (void)prn.SendAsicRegisterPara(script.Byte(), script.Byte(), script.Byte());
        break;
      default:
        Decoders(script);
        break;
    }
    const uint8_t* answer = nullptr;
    uint32_t length = 0;
    prn.GetResponseData(&answer, &length);
    if ((answer == nullptr) != (length == 0)) Fail("answer data and its length disagree");
  }
  return 0;
}
