#include "platform/print_queue_hold.h"

#include <strings.h>

#include <algorithm>
#include <string>
#include <utility>

#include "platform/linux/cups_connection.h"
#include "platform/queue_hold_journal.h"

namespace kiln::platform {

namespace {

constexpr int kPrinterStateStopped = 5;  // IPP printer-state "stopped"

struct IppDeleter {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppMessage = std::unique_ptr<ipp_t, IppDeleter>;

const char* TextAttribute(ipp_attribute_t* attribute) {
  const char* text = ippGetString(attribute, 0, nullptr);
  return text != nullptr ? text : "";
}

std::string PrinterUri(const std::string& queue) {
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                   "/printers/%s", queue.c_str());
  return uri;
}

// Never prompt on a terminal or block for a password: an operation that needs one is
// refused instead. The callback is per thread, so each request sets it.
const char* NoPassword(const char*, http_t*, const char*, const char*, void*) {
  return nullptr;
}

// Pause-Printer or Resume-Printer for one queue; the IPP status of the answer. A pause
// gives the queue the reason as its state message.
ipp_status_t ChangePrinter(http_t* http, ipp_op_t operation, const std::string& queue,
                           const std::string& reason = {}) {
  cupsSetPasswordCB2(NoPassword, nullptr);
  ipp_t* request = ippNewRequest(operation);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
               PrinterUri(queue).c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  if (!reason.empty()) {
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_TEXT, "printer-state-message", nullptr,
                 reason.c_str());
  }
  IppMessage answer(cupsDoRequest(http, request, "/admin/"));  // frees the request
  return cupsLastError();
}

bool Succeeded(ipp_status_t status) {
  return status <= IPP_STATUS_OK_CONFLICTING;
}

bool IsRefusal(ipp_status_t status) {
  return status == IPP_STATUS_ERROR_FORBIDDEN || status == IPP_STATUS_ERROR_NOT_AUTHENTICATED ||
         status == IPP_STATUS_ERROR_NOT_AUTHORIZED ||
         status == IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED;
}

std::vector<PrintQueue> QueuesOf(http_t* http) {
  static const char* const kAttributes[] = {"printer-name", "device-uri", "printer-make-and-model",
                                            "printer-state", "printer-state-message"};
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                std::size(kAttributes), nullptr, kAttributes);
  IppMessage answer(cupsDoRequest(http, request, "/"));
  std::vector<PrintQueue> queues;
  if (!answer) return queues;
  // The answer lists one group of printer attributes per queue; a separator or a
  // group of another kind ends a queue.
  PrintQueue queue;
  auto endQueue = [&] {
    if (!queue.name.empty()) queues.push_back(std::move(queue));
    queue = PrintQueue();
  };
  for (ipp_attribute_t* attribute = ippFirstAttribute(answer.get()); attribute != nullptr;
       attribute = ippNextAttribute(answer.get())) {
    const char* name = ippGetName(attribute);
    if (name == nullptr || ippGetGroupTag(attribute) != IPP_TAG_PRINTER) {
      endQueue();
      continue;
    }
    const std::string_view key = name;
    if (key == "printer-name") {
      queue.name = TextAttribute(attribute);
    } else if (key == "device-uri") {
      queue.deviceUri = TextAttribute(attribute);
    } else if (key == "printer-make-and-model") {
      queue.makeAndModel = TextAttribute(attribute);
    } else if (key == "printer-state") {
      queue.stopped = ippGetInteger(attribute, 0) == kPrinterStateStopped;
    } else if (key == "printer-state-message") {
      queue.stateMessage = TextAttribute(attribute);
    }
  }
  endQueue();
  return queues;
}

enum class QueueState {
  kGone,     // the server has no such queue
  kUnknown,  // the server did not say
  kOurs,     // stopped with the reason asked about
  kNotOurs,  // running, or stopped with another reason
};

// Whether the queue is still stopped with the reason, as the server says right now.
QueueState StateOf(http_t* http, const std::string& queue, const std::string& reason) {
  static const char* const kAttributes[] = {"printer-state", "printer-state-message"};
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
               PrinterUri(queue).c_str());
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                std::size(kAttributes), nullptr, kAttributes);
  IppMessage answer(cupsDoRequest(http, request, "/"));
  if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) return QueueState::kGone;
  ipp_attribute_t* state =
      answer ? ippFindAttribute(answer.get(), "printer-state", IPP_TAG_ENUM) : nullptr;
  if (state == nullptr || cupsLastError() > IPP_STATUS_OK_CONFLICTING) return QueueState::kUnknown;
  const bool stopped = ippGetInteger(state, 0) == kPrinterStateStopped;
  ipp_attribute_t* message = ippFindAttribute(answer.get(), "printer-state-message", IPP_TAG_TEXT);
  return stopped && message != nullptr && TextAttribute(message) == reason ? QueueState::kOurs
                                                                           : QueueState::kNotOurs;
}

// The print server as the journal names it: the queues of one server are not another's.
std::string PrintServerName() {
  return std::string(cupsServer()) + ":" + std::to_string(ippPort());
}

bool ResumedOrGone(ipp_status_t status) {
  return Succeeded(status) || status == IPP_STATUS_ERROR_NOT_FOUND;
}

// Ends a hold of the queue: resumes it while it is still stopped with the reason it was
// paused with, as read back right before. True when the hold is over: resumed, gone, or
// no longer Kiln's (resumed by someone, or stopped again with their own reason, which
// is theirs to end); false when it stays paused because the server did not answer or
// refused.
bool EndHold(http_t* http, const std::string& queue, const std::string& reason) {
  switch (StateOf(http, queue, reason)) {
    case QueueState::kGone:
    case QueueState::kNotOurs:
      return true;
    case QueueState::kUnknown:
      return false;
    case QueueState::kOurs:
      break;
  }
  return ResumedOrGone(ChangePrinter(http, IPP_OP_RESUME_PRINTER, queue));
}

void ResumeAbandoned(http_t* http, const std::vector<RecordedHold>& abandoned) {
  for (const RecordedHold& hold : abandoned) {
    if (EndHold(http, hold.queue, hold.reason)) QueueHoldJournal::Remove(hold.entryPath);
  }
}

}  // namespace

std::vector<PrintQueue> ListPrintQueues() {
  CupsConnection http = ConnectToPrintServer();
  return http ? QueuesOf(http.get()) : std::vector<PrintQueue>();
}

PrintQueueHold PrintQueueHold::Hold(const QueuePrinter& printer) {
  PrintQueueHold hold;
  CupsConnection http = ConnectToPrintServer();
  if (!http) {
    hold.record_.SetNoPrintServer();
    return hold;
  }
  const std::string server = PrintServerName();
  const QueueHoldJournal journal = QueueHoldJournal::InLockFolder();
  hold.record_ = QueueHoldRecord(journal, KilnPauseReason(CurrentProcessId()));
  // Left paused, such a queue would look stopped by someone else and be skipped below.
  ResumeAbandoned(http.get(), journal.FindAbandoned(server));
  for (const PrintQueue& queue : QueuesOf(http.get())) {
    // A stopped queue starts no job, and resuming it later is not ours to do.
    if (queue.stopped || !QueuePrintsTo(queue, printer)) continue;
    hold.record_.PauseRecorded(journal, server, queue.name, [&] {
      const ipp_status_t status =
          ChangePrinter(http.get(), IPP_OP_PAUSE_PRINTER, queue.name, hold.record_.reason());
      if (Succeeded(status)) return QueueHoldRecord::Pause::kDone;
      return IsRefusal(status) ? QueueHoldRecord::Pause::kRefused : QueueHoldRecord::Pause::kFailed;
    });
  }
  return hold;
}

bool PrintQueueHold::Release() {
  if (record_.paused().empty()) return true;
  CupsConnection http = ConnectToPrintServer();
  // Without the server every queue stays paused, and keeps its entry.
  return record_.EndEach([&](const std::string& queue) {
    return http != nullptr && EndHold(http.get(), queue, record_.reason());
  });
}

void ResumeQueuesLeftHeld() {
  const std::vector<RecordedHold> abandoned =
      QueueHoldJournal::InLockFolder().FindAbandoned(PrintServerName());
  if (abandoned.empty()) return;
  CupsConnection http = ConnectToPrintServer();
  if (http) ResumeAbandoned(http.get(), abandoned);
}

}  // namespace kiln::platform
