#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kiln::platform {

class QueueHoldJournal;

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

// What a print queue hold did, queue by queue, with the journal entries that record its
// pauses: the part of a hold that is the same on every print system, which gives only
// the pause and the end of each queue's hold. Moving it leaves the source holding nothing.
class QueueHoldRecord {
 public:
  // How pausing one queue ended on the print system.
  enum class Pause : uint8_t { kDone, kRefused, kFailed };

  QueueHoldRecord() = default;
  // A record whose pauses go into the journal, with reason as the queues' state message.
  QueueHoldRecord(const QueueHoldJournal& journal, std::string reason);
  QueueHoldRecord(QueueHoldRecord&& other) noexcept;
  QueueHoldRecord& operator=(QueueHoldRecord&& other) noexcept;
  QueueHoldRecord(const QueueHoldRecord&) = delete;
  QueueHoldRecord& operator=(const QueueHoldRecord&) = delete;

  // Records the pause of the queue in the journal, then pauses it with pause(): the queue
  // is this hold's once both took; a pause that fails has its entry removed, one that
  // cannot be recorded is not tried.
  void PauseRecorded(const QueueHoldJournal& journal, const std::string& server,
                     const std::string& queue, const std::function<Pause()>& pause);
  // Ends the hold of each paused queue with endHold (true once it is over, whichever way)
  // and removes the entries of those over; the rest keep theirs for the next start. True
  // when every one is over; nothing is paused afterwards.
  bool EndEach(const std::function<bool(const std::string& queue)>& endHold);
  // No print server answered: nothing could be paused.
  void SetNoPrintServer() { result_ = QueueHoldResult::kNoPrintServer; }

  QueueHoldResult result() const { return result_; }
  const std::string& reason() const { return reason_; }
  const std::vector<std::string>& paused() const { return paused_; }
  const std::vector<std::string>& unpaused() const { return unpaused_; }
  const std::vector<std::string>& unrecorded() const { return unrecorded_; }
  const std::string& journalFolder() const { return journalFolder_; }

 private:
  QueueHoldResult result_ = QueueHoldResult::kHeld;
  std::vector<std::string> paused_;
  std::vector<std::string> journalEntries_;  // one per paused queue
  std::vector<std::string> unpaused_;
  std::vector<std::string> unrecorded_;
  std::string journalFolder_;
  std::string reason_;  // the state message of the queues it paused
};

}  // namespace kiln::platform
