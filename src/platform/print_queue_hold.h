#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_id.h"
#include "platform/queue_hold_record.h"

namespace kiln::platform {

// The printer whose print queues must not start jobs while its firmware is written: a
// job that starts mid-update can take the USB interface away from the download.
struct QueuePrinter {
  std::string serialNumber;  // USB serial number; empty when unknown
  std::string nodePath;      // usblp node, e.g. /dev/usb/lp0; empty when unknown
  std::string driverName;    // the model's printer driver name
};

// A print queue as the print server lists it.
struct PrintQueue {
  std::string name;
  std::string deviceUri;
  std::string makeAndModel;
  bool stopped = false;      // paused already: starts no job
  std::string stateMessage;  // why it is stopped, as whoever paused it said
};

// Whether the queue prints to the printer: its device URI names the printer's serial
// number (a "serial" parameter) or its node (the URI's path), or its make-and-model is
// the driver name (without regard to case). Empty fields of the printer match nothing.
bool QueuePrintsTo(const PrintQueue& queue, const QueuePrinter& printer);

// The print server's queues (not classes); empty when no server answers.
std::vector<PrintQueue> ListPrintQueues();

// The state message Kiln pauses a queue with, naming the pausing process: e.g. "Paused by
// Kiln (PID 1234) while it updates the printer's firmware". A queue stopped with another
// message was stopped by someone else, and is never resumed by Kiln.
std::string KilnPauseReason(ProcessId pid);

// Keeps the print queues of one printer from starting new jobs (IPP Pause-Printer, with
// KilnPauseReason as the queue's state message) while it lives, and resumes exactly the
// queues it paused when it ends, whichever way the update ends: each only while it is
// still stopped with that message, so that a queue an administrator stopped meanwhile
// stays stopped. Queues that were stopped before stay stopped. Requests never ask for a
// password: a queue that needs one counts as not permitted. Each pause is recorded in
// the queue-hold journal, on disk, before the queue is paused, and its entry removed
// once the hold is over, so that a queue a killed process left paused is resumed later
// (ResumeQueuesLeftHeld); a queue whose pause cannot be recorded is not paused.
class PrintQueueHold {
 public:
  // Pauses every running queue that prints to the printer, after resuming the queues
  // that ended holders left paused (which may be among them).
  static PrintQueueHold Hold(const QueuePrinter& printer);

  PrintQueueHold() = default;  // holds nothing
  PrintQueueHold(PrintQueueHold&& other) noexcept = default;
  PrintQueueHold& operator=(PrintQueueHold&& other) noexcept {
    if (this != &other) {
      Release();
      record_ = std::move(other.record_);
    }
    return *this;
  }
  PrintQueueHold(const PrintQueueHold&) = delete;
  PrintQueueHold& operator=(const PrintQueueHold&) = delete;
  ~PrintQueueHold() { Release(); }

  // Resumes the queues this hold paused, now; later calls do nothing. False when the
  // server could not be reached or refused to resume one: the caller can then say that
  // the queue stays paused. A queue the server no longer has, or that someone else
  // stopped or resumed meanwhile, is no longer this hold's and counts as done.
  bool Release();

  QueueHoldResult result() const { return record_.result(); }
  const std::vector<std::string>& pausedQueues() const { return record_.paused(); }
  // Queues that print to the printer and could not be paused.
  const std::vector<std::string>& unpausedQueues() const { return record_.unpaused(); }
  // Those of them not paused because the journal could not record the pause, and the
  // journal's folder.
  const std::vector<std::string>& unrecordedQueues() const { return record_.unrecorded(); }
  const std::string& journalFolder() const { return record_.journalFolder(); }

 private:
  QueueHoldRecord record_;
};

// Resumes the queues on the print server that Kiln processes paused and that ended
// before they could resume them (killed, or the machine lost power), as the trusted
// entries of the queue-hold journal record them, and removes their entries. A queue is
// resumed only while it is still stopped with the reason its entry records; one that
// someone else stopped or resumed since is left as it is (its entry removed), one that
// cannot be resumed now keeps its entry for the next try. Called once at start-up.
// Without such entries the print server is not contacted.
void ResumeQueuesLeftHeld();

// A line for the status display or standard error when the hold is incomplete, e.g.
// "Print queue Photo1 could not be paused (no permission): a print job may interrupt
// the update." or "... (the queue-hold journal /run/lock/kiln/held-queues cannot be
// written): ..."; empty when the hold is complete.
std::string QueueHoldWarning(const PrintQueueHold& hold);

}  // namespace kiln::platform
