#include "protocol/download_session.h"

namespace kiln::protocol {

namespace {

constexpr uint32_t kOpenTries = 30;
constexpr uint32_t kRetryPauseMs = 1000;

}  // namespace

bool Unopenable(const platform::OpenRefusal& refusal) {
  return refusal.kind == platform::OpenRefusal::Kind::kInUse ||
         refusal.kind == platform::OpenRefusal::Kind::kNoAccess;
}

bool StopWatch::Requested() {
  if (!noticed_ && stopRequested_ && stopRequested_() != 0) {
    noticed_ = true;
    if (observer_ != nullptr) observer_->OnStopNoticed();
  }
  return noticed_;
}

DownloadSession::DownloadSession(const usb::LinkFactory& makeLink, bool largeModel, StopWatch& stop)
    : link_(makeLink()),
      prn_(std::make_unique<CPrnCmd>(link_.get(), SendModeFor(largeModel))),
      stop_(stop) {}

DownloadSession::~DownloadSession() {
  link_->CancelPipes();
  link_->Finish();
}

bool DownloadSession::OpenAndProbe(uint32_t model, const std::string& printer, bool& answered) {
  bool opened = false;
  answered = false;
  for (uint32_t attempt = 0; attempt < kOpenTries; ++attempt) {
    (void)stop_.Requested();
    opened = link_->OpenIOChannelTo(model, printer) == usb::kOpenOk;
    if (opened && prn_->DoCommand(cmd::kStatusSummary) == ResultCode::kAnswered) {
      answered = true;
      return true;
    }
    link_->CloseIOChannel();
    // Another program holds the printer, or the user may not open it: trying again would
    // only wait for the other program to start writing, or for nothing.
    if (Unopenable(link_->refusal())) return false;
    clock().Sleep(kRetryPauseMs);
  }
  return opened;
}

StatusResult DownloadSession::CheckStatus(bool show, uint32_t& errorCode) {
  return prn_->CheckDeviceStatus(&errorCode, {.show = show, .busyWaitFirst = true});
}

}  // namespace kiln::protocol
