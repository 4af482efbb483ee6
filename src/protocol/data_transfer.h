#pragma once

#include <cstdint>

#include "config/package_files.h"
#include "protocol/download_observer.h"
#include "protocol/patched_image.h"
#include "protocol/prn_cmd.h"

namespace kiln::protocol {

// How a printer's download went.
enum class TransferOutcome {
  kSent,      // every packet was accepted
  kRejected,  // the printer did not accept a start or a data packet, or a file's end
              // before the last file
  // Every byte of the firmware was accepted but its end was not answered: the printer
  // may be programming it, so only its state after the restart tells.
  kEndUnanswered,
  kFileUnreadable,  // a code or table file of the three-file download could not be read
};

// Sends data in pieces of at most chunkSize bytes: 0x8308 pieces as answered data
// packets, any other command as unanswered packets, each taking the I/O right. Stops at
// the first piece not accepted; returns the last result (kNothingSent for no data).
// progress, when given, hears of every piece accepted but the last: the whole length is
// reported only when the printer answers the end of the file or write that follows.
ResultCode SendDataInChunks(CPrnCmd& prn, uint16_t code, const PatchedImage& data,
                            uint32_t chunkSize, DownloadObserver* progress = nullptr);
ResultCode SendDataInChunks(CPrnCmd& prn, uint16_t code, const uint8_t* data, uint32_t length,
                            uint32_t chunkSize, DownloadObserver* progress = nullptr);

// The image download of models below 19: start of write (0x8400 with the write type),
// 0xFC00-byte data packets (0x8301), end of write (0x8401), then 500 ms.
TransferOutcome WriteFirmwareImage(CPrnCmd& prn, const PatchedImage& image, uint8_t writeType,
                                   DownloadObserver* progress = nullptr);
TransferOutcome WriteFirmwareImage(CPrnCmd& prn, const uint8_t* image, uint32_t length,
                                   uint8_t writeType, DownloadObserver* progress = nullptr);

// The five register parameter packets that precede a large model's files.
void PrepareRegisters(CPrnCmd& prn);

// The pause between the steps of the three-file download: 2000 ms when the busy wait is
// switched off, otherwise a wait until the printer is no longer busy.
void Settle(CPrnCmd& prn, bool noWaitBusyBeforeWrite);

// The download of models 19 and higher: registers, then the code file, the table file
// and the image, each announced (0x8306 with its kind), sent in answered pieces and
// closed (0x8307). The code and table files are sent as they were loaded when the update
// started; one that could not be read ends the download there (kFileUnreadable).
// Progress of each file goes to progress (none when null).
TransferOutcome WriteFirmwareFiles(CPrnCmd& prn, bool noWaitBusyBeforeWrite,
                                   DownloadObserver* progress, const config::LoadedFile& code,
                                   const config::LoadedFile& table, const PatchedImage& image);
TransferOutcome WriteFirmwareFiles(CPrnCmd& prn, bool noWaitBusyBeforeWrite,
                                   DownloadObserver* progress, const config::LoadedFile& code,
                                   const config::LoadedFile& table, const uint8_t* image,
                                   uint32_t length);

}  // namespace kiln::protocol
