#include "protocol/data_transfer.h"

#include <array>
#include <vector>

#include "config/firmware_package.h"
#include "protocol/command_header.h"

namespace kiln::protocol {

namespace {

constexpr uint32_t kAfterWritePauseMs = 500;
constexpr uint32_t kSettlePauseMs = 2000;
constexpr uint32_t kSettlePollMs = 500;

enum FileKind : uint8_t { kCodeFile = 0, kTableFile = 1, kImageFile = 2 };

struct RegisterParameter {
  uint8_t p1, p2, p3;
};
constexpr std::array<RegisterParameter, 5> kRegisterSequence = {{
    {0xFC, 0x1A, 0x04},
    {0xFC, 0x18, 0xA0},
    {0xFC, 0x19, 0x50},
    {0xFC, 0x1A, 0x02},
    {0xFC, 0x1A, 0x01},
}};

bool Accepted(ResultCode result) {
  return result == ResultCode::kWritten || result == ResultCode::kAnswered;
}

// Bytes a pipe accepted are not bytes the printer took: only the answered end of a file
// (or of the write) shows that the printer has all of it, so the whole length is
// reported then, and never without it.
TransferOutcome Closed(ResultCode end, uint32_t length, DownloadObserver* progress) {
  if (end != ResultCode::kAnswered) return TransferOutcome::kEndUnanswered;
  if (progress != nullptr && length != 0) progress->OnDataSent(length, length);
  return TransferOutcome::kSent;
}

// Sends one announced file and its end.
TransferOutcome SendAnnouncedData(CPrnCmd& prn, const PatchedImage& data,
                                  DownloadObserver* progress) {
  const uint32_t length = data.size();
  const ResultCode last = SendDataInChunks(prn, cmd::kFileData, data, kDataPieceSize, progress);
  if (last != ResultCode::kAnswered) return TransferOutcome::kRejected;
  const ResultCode closed = prn.DoCommand(cmd::kFileEnd);
  prn.link()->clock().Sleep(kAfterWritePauseMs);
  return Closed(closed, length, progress);
}

}  // namespace

ResultCode SendDataInChunks(CPrnCmd& prn, uint16_t code, const PatchedImage& data,
                            uint32_t chunkSize, DownloadObserver* progress) {
  ResultCode result = ResultCode::kNothingSent;
  const uint32_t length = data.size();
  // Where a patch touches a piece, the piece is assembled here before it goes out.
  std::vector<uint8_t> scratch;
  for (uint32_t offset = 0; offset < length;) {
    const uint32_t chunk = length - offset < chunkSize ? length - offset : chunkSize;
    const uint8_t* piece = data.Piece(offset, chunk, scratch);
    if (code == cmd::kFileData) {
      result = prn.DoCmdSendData(code, piece, chunk);
    } else {
      const CommandHeader header(code, 0, 0, 0, 0, chunk, kFlagUnanswered);
      result = prn.SendCommand(header.bytes.data(), header.length, piece, chunk, true);
    }
    if (!Accepted(result)) break;
    offset += chunk;
    // The last piece is reported with the answered end (Closed), not here.
    if (progress != nullptr && offset < length) progress->OnDataSent(offset, length);
  }
  return result;
}

ResultCode SendDataInChunks(CPrnCmd& prn, uint16_t code, const uint8_t* data, uint32_t length,
                            uint32_t chunkSize, DownloadObserver* progress) {
  return SendDataInChunks(prn, code, PatchedImage(data, length), chunkSize, progress);
}

TransferOutcome WriteFirmwareImage(CPrnCmd& prn, const uint8_t* image, uint32_t length,
                                   uint8_t writeType, DownloadObserver* progress) {
  return WriteFirmwareImage(prn, PatchedImage(image, length), writeType, progress);
}

TransferOutcome WriteFirmwareImage(CPrnCmd& prn, const PatchedImage& image, uint8_t writeType,
                                   DownloadObserver* progress) {
  if (prn.DoCommand3(cmd::kWriteStart, writeType, 0) != ResultCode::kAnswered) {
    return TransferOutcome::kRejected;
  }
  const uint32_t length = image.size();
  const ResultCode last =
      SendDataInChunks(prn, cmd::kFirmwareData, image, kDataPieceSize, progress);
  if (last != ResultCode::kWritten) return TransferOutcome::kRejected;
  const ResultCode ended = prn.DoCommand(cmd::kWriteEnd);
  prn.link()->clock().Sleep(kAfterWritePauseMs);
  return Closed(ended, length, progress);
}

void PrepareRegisters(CPrnCmd& prn) {
  // The controller's answers to these are not needed: the file transfers that follow
  // show whether the printer is ready.
  for (const RegisterParameter& step : kRegisterSequence) {
    (void)prn.SendAsicRegisterPara(step.p1, step.p2, step.p3);
  }
}

void Settle(CPrnCmd& prn, bool noWaitBusyBeforeWrite) {
  if (noWaitBusyBeforeWrite) {
    prn.link()->clock().Sleep(kSettlePauseMs);
  } else {
    // A failed poll shows again in the announce or the data packet that follows.
    (void)prn.WaitBusy(kSettlePollMs, false);
  }
}

TransferOutcome WriteFirmwareFiles(CPrnCmd& prn, bool noWaitBusyBeforeWrite,
                                   DownloadObserver* progress, const config::LoadedFile& code,
                                   const config::LoadedFile& table, const uint8_t* image,
                                   uint32_t length) {
  return WriteFirmwareFiles(prn, noWaitBusyBeforeWrite, progress, code, table,
                            PatchedImage(image, length));
}

TransferOutcome WriteFirmwareFiles(CPrnCmd& prn, bool noWaitBusyBeforeWrite,
                                   DownloadObserver* progress, const config::LoadedFile& code,
                                   const config::LoadedFile& table, const PatchedImage& image) {
  const bool noWait = noWaitBusyBeforeWrite;
  PrepareRegisters(prn);

  if (!code.readable()) return TransferOutcome::kFileUnreadable;
  // An announce the printer did not take shows in its file's first data packet.
  (void)prn.DoCommand3(cmd::kFileAnnounce, kCodeFile, 0);
  Settle(prn, noWait);
  if (SendAnnouncedData(prn, PatchedImage(code.data(), code.size()), progress) !=
      TransferOutcome::kSent) {
    return TransferOutcome::kRejected;
  }

  if (!table.readable()) return TransferOutcome::kFileUnreadable;
  Settle(prn, noWait);
  (void)prn.DoCommand3(cmd::kFileAnnounce, kTableFile, 0);  // as for the code file
  Settle(prn, noWait);
  if (SendAnnouncedData(prn, PatchedImage(table.data(), table.size()), progress) !=
      TransferOutcome::kSent) {
    return TransferOutcome::kRejected;
  }

  Settle(prn, noWait);
  (void)prn.DoCommand3(cmd::kFileAnnounce, kImageFile, 0);  // as for the code file
  Settle(prn, noWait);
  return SendAnnouncedData(prn, image, progress);
}

}  // namespace kiln::protocol
