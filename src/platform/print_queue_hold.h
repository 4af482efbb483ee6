#pragma once

#include <string>
#include <string_view>
#include <vector>

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
  bool stopped = false;  // paused already: starts no job
};

// Whether the queue prints to the printer: its device URI names the printer's serial
// number (a "serial" parameter) or its node (the URI's path), or its make-and-model is
// the driver name (without regard to case). Empty fields of the printer match nothing.
bool QueuePrintsTo(const PrintQueue& queue, const QueuePrinter& printer);

// The print server's queues (not classes); empty when no server answers.
std::vector<PrintQueue> ListPrintQueues();

enum class QueueHoldResult {
  kHeld,           // every queue that prints to the printer is paused (none is fine)
  kNoPrintServer,  // no print server answered, so none can start a job either
  kNotPermitted,   // the server refused to pause a queue: no right to; others are held
  kFailed,         // a queue could not be paused for another reason; others are held
};

// The result of a hold after one more queue could not be paused (refused: the server
// denied the right to): a refusal outweighs any other failure, which a refusal before
// does not replace.
QueueHoldResult WithUnpausedQueue(QueueHoldResult result, bool refused);

// Keeps the print queues of one printer from starting new jobs (IPP Pause-Printer)
// while it lives, and resumes exactly the queues it paused when it ends, whichever way
// the update ends. Queues that were stopped before stay stopped. Requests never ask for
// a password: a queue that needs one counts as not permitted. Each pause is recorded in
// the queue-hold journal first and its entry removed once the queue is resumed, so that
// a queue a killed process left paused is resumed later (ResumeQueuesLeftHeld).
class PrintQueueHold {
 public:
  // Pauses every running queue that prints to the printer, after resuming the queues
  // that ended holders left paused (which may be among them).
  static PrintQueueHold Hold(const QueuePrinter& printer);

  PrintQueueHold() = default;  // holds nothing
  PrintQueueHold(PrintQueueHold&& other) noexcept;
  PrintQueueHold& operator=(PrintQueueHold&& other) noexcept;
  PrintQueueHold(const PrintQueueHold&) = delete;
  PrintQueueHold& operator=(const PrintQueueHold&) = delete;
  ~PrintQueueHold() { Release(); }

  // Resumes the queues this hold paused, now; later calls do nothing. False when the
  // server could not be reached or refused to resume one (a queue it no longer has
  // counts as resumed): the caller can then say that the queue stays paused.
  bool Release();

  QueueHoldResult result() const { return result_; }
  const std::vector<std::string>& pausedQueues() const { return paused_; }
  // Queues that print to the printer and could not be paused.
  const std::vector<std::string>& unpausedQueues() const { return unpaused_; }

 private:
  QueueHoldResult result_ = QueueHoldResult::kHeld;
  std::vector<std::string> paused_;
  std::vector<std::string> journalEntries_;  // one per paused queue; empty when unrecorded
  std::vector<std::string> unpaused_;
};

// Resumes the queues on the print server that Kiln processes paused and that ended
// before they could resume them (killed, or the machine lost power), as the queue-hold
// journal records them, and removes their entries; a queue that cannot be resumed now
// keeps its entry for the next try. Called once at start-up. Without such entries the
// print server is not contacted.
void ResumeQueuesLeftHeld();

// A line for the status display or standard error when the hold is incomplete, e.g.
// "Print queue Photo1 could not be paused (no permission): a print job may interrupt
// the update."; empty when the hold is complete.
std::string QueueHoldWarning(const PrintQueueHold& hold);

}  // namespace kiln::platform
