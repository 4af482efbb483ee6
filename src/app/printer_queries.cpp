#include "app/printer_queries.h"

#include <algorithm>
#include <cstring>

#include "models/model_table.h"
#include "protocol/prn_cmd.h"

namespace kiln::app {

namespace {

constexpr const char* kNotAvailable = "N/A";
constexpr uint32_t kBusyPollMs = 500;
constexpr uint32_t kColourModeLimit = 47;

// One printer task: a link and its protocol object, with the channel closed and the
// trace finished however the task ends.
class PrinterSession {
 public:
  PrinterSession(const usb::LinkFactory& makeLink, bool largeModel)
      : link_(makeLink()),
        prn_(std::make_unique<protocol::CPrnCmd>(link_.get(), protocol::SendModeFor(largeModel))) {}
  ~PrinterSession() { link_->Finish(); }
  PrinterSession(const PrinterSession&) = delete;
  PrinterSession& operator=(const PrinterSession&) = delete;

  // The printer the probe chose (identity), or else the first of the model.
  usb::OpenResult Open(uint32_t model, const std::string& identity) {
    if (!identity.empty()) {
      const usb::OpenResult result = link_->OpenIOChannelTo(model, identity);
      if (result != usb::kOpenNoDevice) return result;
    }
    return link_->OpenIOChannel(model, 1);
  }
  usb::CUsbLink& link() { return *link_; }
  protocol::CPrnCmd& prn() { return *prn_; }

 private:
  std::unique_ptr<usb::CUsbLink> link_;
  std::unique_ptr<protocol::CPrnCmd> prn_;
};

// Whether the printer is still busy after limitMs, polled every kBusyPollMs as a busy
// wait polls; a set stop flag ends the wait at the next poll. A failed poll ends it too
// (not busy: the query that follows fails on its own).
bool StillBusy(protocol::CPrnCmd& prn, platform::Clock& clock, uint32_t limitMs,
               const std::function<bool()>& stopped) {
  const uint64_t startMs = clock.NowMs();
  for (;;) {
    if (!prn.WaitBusy(kBusyPollMs, false, 0).timedOut) return false;  // one poll
    if (clock.NowMs() - startMs >= limitMs || stopped()) return true;
    clock.Sleep(kBusyPollMs);
    if (stopped()) return true;
  }
}

}  // namespace

PrinterQueries::PrinterQueries(PrinterState& printer, VersionDisplay* display,
                               usb::LinkFactory makeLink, const std::atomic<bool>* stop)
    : printer_(printer), display_(display), makeLink_(std::move(makeLink)), stop_(stop) {}

bool PrinterQueries::ProbeConnection(uint32_t model) {
  if (Stopped()) return false;
  usb::OpenResult result = usb::kOpenNoDevice;
  {
    PrinterSession session(makeLink_, printer_.largeModel);
    unopened_.clear();
    result = OpenFirst(session.link(), model);
    printer_.connectedModel = model;
    // A printer that does not answer as its model may answer as the model it falls back to.
    const uint32_t fallBack = models::FallBackModelOf(model);
    if (fallBack != 0 && result != usb::kOpenOk) {
      printer_.connectedModel = fallBack;
      result = OpenFirst(session.link(), fallBack);
    }
    const bool opened = result == usb::kOpenOk;
    transport_ = opened ? session.link().transportText() : std::string();
    printer_.identity = opened ? session.link().identity() : std::string();
  }
  if (result != usb::kOpenOk) {
    printer_.connectedModel = 0;
    if (display_ != nullptr) display_->ShowCurrentVersion(kNotAvailable);
    return false;
  }
  ReloadDeviceVersion();
  return true;
}

usb::OpenResult PrinterQueries::OpenFirst(usb::CUsbLink& link, uint32_t model) {
  // One attempt when there is no printer at all, as before any printer is counted.
  const uint32_t count = std::max(link.CountDevices(model), 1U);
  usb::OpenResult result = usb::kOpenNoDevice;
  for (uint32_t instance = 1; instance <= count; ++instance) {
    result = link.OpenIOChannel(model, instance);
    if (result == usb::kOpenOk) return result;
    if (link.identity().empty()) continue;  // gone meanwhile
    unopened_.push_back(protocol::DescribeUnopenedPrinter(link));
  }
  return result;
}

bool PrinterQueries::QueryDeviceVersion() {
  if (Stopped()) return false;
  versionAnswered_ = false;
  PrinterSession session(makeLink_, printer_.largeModel);
  if (session.Open(printer_.connectedModel, printer_.identity) != usb::kOpenOk) {
    refusal_ = session.link().refusal().text;
    return false;
  }
  refusal_.clear();

  char revision[24] = {};
  if (session.prn().GetProductRev(revision, sizeof revision) != usb::ResultCode::kAnswered) {
    return false;
  }
  versionAnswered_ = true;
  if (revision[0] == '\0') {
    printer_.deviceVersion = kNotAvailable;
    return false;
  }
  printer_.deviceVersion = revision;
  return true;
}

bool PrinterQueries::QueryColourMode(uint32_t model, bool noBusyCheck, ColourModeText* text,
                                     uint32_t busyLimitMs) {
  ColourModeText found = kNotAvailable;
  bool ok = false;
  if (!Stopped()) {
    PrinterSession session(makeLink_, printer_.largeModel);
    (void)session.Open(model, printer_.identity);
    const bool stillBusy =
        session.link().IsChannelOpen() && !noBusyCheck &&
        StillBusy(session.prn(), session.link().clock(), busyLimitMs, [this] { return Stopped(); });
    if (session.link().IsChannelOpen() && !stillBusy && !Stopped()) {
      const uint8_t* data = nullptr;
      uint32_t length = 0;
      if (session.prn().DoCommand(protocol::cmd::kColourMode) == usb::ResultCode::kAnswered) {
        session.prn().GetResponseData(&data, &length);
      }
      if (data != nullptr && length != 0) {
        found = std::string_view(reinterpret_cast<const char*>(data),
                                 length < kColourModeLimit ? length : kColourModeLimit);
        ok = true;
      }
    }
  }
  if (text != nullptr) *text = found.view();
  return ok;
}

void PrinterQueries::ReloadDeviceVersion() {
  if (QueryDeviceVersion() && display_ != nullptr && display_->IsInitialised()) {
    display_->ShowCurrentVersion(printer_.deviceVersion.c_str());
  }
}

}  // namespace kiln::app
