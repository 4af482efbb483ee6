// The queue hold on the Windows spooler. The spooler keeps no message with a pause, so a
// queue counts as Kiln's while the journal records that Kiln paused it: Kiln pauses only
// queues that are running when it looks, and resumes one only while it is still paused.
// A queue someone resumed meanwhile is no longer Kiln's hold; one paused before Kiln
// looked is never touched.

#include "platform/print_queue_hold.h"

#include <windows.h>

#include "platform/queue_hold_journal.h"
#include "platform/windows/spooler.h"

namespace kiln::platform {

namespace {

// The journal's name for this machine's spooler: its entries under the user's local
// application data belong to no other.
constexpr const char* kPrintServer = "spooler";

PrintQueue AsPrintQueue(const SpoolerQueue& queue) {
  // The port stands where a device URI would: it names neither a serial nor a node, so a
  // queue is the printer's by its driver.
  PrintQueue print;
  print.name = queue.name;
  print.deviceUri = queue.portName;
  print.makeAndModel = queue.driverName;
  print.stopped = queue.paused;
  return print;
}

// Ends a hold of the queue: resumes it while it is still paused, as read right before.
// True when the hold is over: resumed, gone, or resumed by someone else already; false
// when it stays paused because the spooler did not answer or refused.
bool EndHold(Spooler& spooler, const std::string& queue) {
  bool paused = false;
  switch (spooler.IsPaused(queue, &paused)) {
    case SpoolerLookup::kGone:
      return true;
    case SpoolerLookup::kUnknown:
      return false;
    case SpoolerLookup::kFound:
      break;
  }
  if (!paused) return true;
  const DWORD error = spooler.Resume(queue);
  return error == ERROR_SUCCESS || error == ERROR_INVALID_PRINTER_NAME;
}

void ResumeAbandoned(Spooler& spooler, const std::vector<RecordedHold>& abandoned) {
  for (const RecordedHold& hold : abandoned) {
    if (EndHold(spooler, hold.queue)) QueueHoldJournal::Remove(hold.entryPath);
  }
}

}  // namespace

std::vector<PrintQueue> ListPrintQueues() {
  std::vector<PrintQueue> queues;
  const std::optional<std::vector<SpoolerQueue>> listed = CurrentSpooler().Queues();
  if (!listed) return queues;
  for (const SpoolerQueue& queue : *listed) queues.push_back(AsPrintQueue(queue));
  return queues;
}

PrintQueueHold PrintQueueHold::Hold(const QueuePrinter& printer) {
  PrintQueueHold hold;
  Spooler& spooler = CurrentSpooler();
  const QueueHoldJournal journal = QueueHoldJournal::InLockFolder();
  hold.record_ = QueueHoldRecord(journal, KilnPauseReason(CurrentProcessId()));
  // Left paused, such a queue would look paused by someone else and be skipped below.
  ResumeAbandoned(spooler, journal.FindAbandoned(kPrintServer));
  const std::optional<std::vector<SpoolerQueue>> queues = spooler.Queues();
  if (!queues) {
    hold.record_.SetNoPrintServer();
    return hold;
  }
  for (const SpoolerQueue& queue : *queues) {
    // A paused queue starts no job, and resuming it later is not ours to do.
    if (queue.paused || !QueuePrintsTo(AsPrintQueue(queue), printer)) continue;
    hold.record_.PauseRecorded(journal, kPrintServer, queue.name, [&] {
      const DWORD error = spooler.Pause(queue.name);
      if (error == ERROR_SUCCESS) return QueueHoldRecord::Pause::kDone;
      return error == ERROR_ACCESS_DENIED ? QueueHoldRecord::Pause::kRefused
                                          : QueueHoldRecord::Pause::kFailed;
    });
  }
  return hold;
}

bool PrintQueueHold::Release() {
  if (record_.paused().empty()) return true;
  Spooler& spooler = CurrentSpooler();
  return record_.EndEach([&](const std::string& queue) { return EndHold(spooler, queue); });
}

void ResumeQueuesLeftHeld() {
  const std::vector<RecordedHold> abandoned =
      QueueHoldJournal::InLockFolder().FindAbandoned(kPrintServer);
  if (!abandoned.empty()) ResumeAbandoned(CurrentSpooler(), abandoned);
}

}  // namespace kiln::platform
