#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/fixed_text.h"
#include "protocol/data_transfer.h"
#include "protocol/download_session.h"
#include "protocol/firmware_download.h"
#include "protocol/patched_image.h"
#include "protocol/printer_outcome.h"

namespace kiln::protocol {

// The firmware checksum errors a printer reports when it rejected the image it was sent.
bool IsChecksumError(uint32_t code);

// One printer of a download, from the moment it is found until it is confirmed: it opens
// the printer (Probe), keeps its device data block (KeepBlock), sends it the firmware
// with that block laid in (Write), finds it again after programming (Attach) and checks
// it (Reload). It owns what became of the printer (outcome). The download's session,
// request and failure text are handed to each step; a step that fails adds its sentence
// to the failure text and marks the printer failed.
class PrinterUpdate {
 public:
  // The instance-th printer found (counting from 1), at identity; not sent until written.
  PrinterUpdate(uint32_t instance, std::string identity);

  const PrinterOutcome& outcome() const { return outcome_; }
  PrinterOutcome& outcome() { return outcome_; }
  const std::string& identity() const { return identity_; }
  uint32_t instance() const { return instance_; }
  // Whether it took the firmware and has failed nothing so far.
  bool Sent() const { return outcome_.result == PrinterResult::kSent; }
  // False once its version showed that the caller's rule leaves it out (needsImage).
  bool Needed() const { return needed_; }

  // Opens it under the open model and asks its state; describes it, and reads its version
  // when the request asks for that. False when it cannot be opened or does not answer
  // (not-sent, with the reason noted), or when its version shows it does not need the
  // image (current, its channel closed). True leaves its channel open for the image.
  bool Probe(DownloadSession& session, const FlashRequest& request, FixedText<512>& failures);
  // Reads its device data block when the request keeps one: it is laid into the image it
  // is sent and checked after programming. A block that is not valid or does not fit is
  // not kept.
  void KeepBlock(DownloadSession& session, const FlashRequest& request, uint32_t imageSize);
  // Sends it the image (or, for large models, the three files), with its kept block laid
  // over image. Notes a printer that did not take it all, or that did not answer its end
  // when nothing will be confirmed.
  TransferOutcome Write(DownloadSession& session, const FlashRequest& request,
                        const PatchedImage& image, DownloadObserver* progress,
                        FixedText<512>& failures);
  // Stays not sent because a stop was asked for.
  void LeaveUnsent();

  // After programming: opens it again under the reopen model, waiting out a busy printer
  // once. False, with the failure noted, when it does not answer.
  bool Attach(DownloadSession& session, const FlashRequest& request, FixedText<512>& failures);
  // Its check after programming: a readable state without an error (an error is handed to
  // reportError and kept as its printerError), its kept block unchanged, and the expected
  // version where its version can be read. One that took the firmware and passes is
  // updated; one that failed before stays failed.
  bool Reload(DownloadSession& session, const FlashRequest& request, FixedText<512>& failures,
              const std::function<void(uint32_t)>& reportError);

 private:
  bool BlockCameBack(DownloadSession& session, const FlashRequest& request,
                     FixedText<512>& failures);
  bool RunsExpectedVersion(DownloadSession& session, const std::string& expected,
                           FixedText<512>& failures);

  uint32_t instance_;
  std::string identity_;
  PrinterOutcome outcome_;
  std::vector<uint8_t> keptBlock_;
  bool needed_ = true;
};

}  // namespace kiln::protocol
