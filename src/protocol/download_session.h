#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/fixed_text.h"
#include "protocol/firmware_download.h"
#include "protocol/printer_outcome.h"
#include "protocol/prn_cmd.h"
#include "usb/link_factory.h"

namespace kiln::protocol {

// Whether a refused open stays refused however often it is tried: another program holds
// the printer, or the user may not open it.
bool Unopenable(const platform::OpenRefusal& refusal);

// The stop input of one download: a stop is noticed once, by whichever check sees it
// first, and the observer hears of it then.
class StopWatch {
 public:
  StopWatch(const StopRequest& stopRequested, DownloadObserver* observer)
      : stopRequested_(stopRequested), observer_(observer) {}
  bool Requested();

 private:
  const StopRequest& stopRequested_;
  DownloadObserver* observer_;
  bool noticed_ = false;
};

// The link and protocol object of one download; whatever path the download leaves by,
// pending I/O is cancelled and the channel closed.
class DownloadSession {
 public:
  DownloadSession(const usb::LinkFactory& makeLink, bool largeModel, StopWatch& stop);
  ~DownloadSession();
  DownloadSession(const DownloadSession&) = delete;
  DownloadSession& operator=(const DownloadSession&) = delete;

  usb::CUsbLink& link() { return *link_; }
  CPrnCmd& prn() { return *prn_; }
  platform::Clock& clock() { return link_->clock(); }
  StopWatch& stop() { return stop_; }

  // Opens the channel of the printer with that identity and asks for the status summary,
  // up to 30 times with a second between tries; a printer another program holds, or one
  // the user may not open, is tried once (Unopenable). Returns whether the last open
  // succeeded; answered tells whether the printer answered. A stop is only noticed here:
  // a printer being reconnected is still waited for.
  bool OpenAndProbe(uint32_t model, const std::string& printer, bool& answered);

  // The printer's state after the download: a busy printer is waited out first and a
  // tray condition is reported like any other; show makes it the check that is shown.
  StatusResult CheckStatus(bool show, uint32_t& errorCode);

 private:
  std::unique_ptr<usb::CUsbLink> link_;
  std::unique_ptr<CPrnCmd> prn_;
  StopWatch& stop_;
};

// Adds a sentence to the download's failure text, as far as it fits, and returns it.
template <typename... Args>
FixedText<256> AddSentence(FixedText<512>& failures, const char* format, Args... args) {
  FixedText<256> sentence;
  sentence.Format(format, args...);
  if (!failures.empty()) failures.Append(" ");
  failures.Append(sentence.view());
  return sentence;
}

// The download's failure text for a printer that was sent nothing: its sentence, which
// is also its own outcome's text; it stays not-sent.
template <typename... Args>
void NoteNotSent(FixedText<512>& failures, PrinterOutcome& printer, const char* format,
                 Args... args) {
  printer.text.assign(AddSentence(failures, format, args...).view());
  printer.result = PrinterResult::kNotSent;
}

// The download's failure text: each failed printer adds a sentence, as far as it fits,
// which also becomes (part of) its own outcome's text.
template <typename... Args>
void NoteFailure(FixedText<512>& failures, PrinterOutcome& printer, const char* format,
                 Args... args) {
  const FixedText<256> sentence = AddSentence(failures, format, args...);
  printer.result = PrinterResult::kFailed;
  if (!printer.text.empty()) printer.text += ' ';
  printer.text.append(sentence.view());
}

}  // namespace kiln::protocol
