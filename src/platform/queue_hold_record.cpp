// The journal-kept record of a print queue hold, the same on every print system.

#include "platform/queue_hold_record.h"

#include <utility>

#include "platform/queue_hold_journal.h"

namespace kiln::platform {

QueueHoldResult WithUnpausedQueue(QueueHoldResult result, bool refused) {
  if (refused) return QueueHoldResult::kNotPermitted;
  return result == QueueHoldResult::kHeld ? QueueHoldResult::kFailed : result;
}

QueueHoldRecord::QueueHoldRecord(const QueueHoldJournal& journal, std::string reason)
    : journalFolder_(journal.folder()), reason_(std::move(reason)) {}

QueueHoldRecord::QueueHoldRecord(QueueHoldRecord&& other) noexcept
    : result_(other.result_),
      paused_(std::exchange(other.paused_, {})),
      journalEntries_(std::exchange(other.journalEntries_, {})),
      unpaused_(std::exchange(other.unpaused_, {})),
      unrecorded_(std::exchange(other.unrecorded_, {})),
      journalFolder_(std::move(other.journalFolder_)),
      reason_(std::move(other.reason_)) {}

QueueHoldRecord& QueueHoldRecord::operator=(QueueHoldRecord&& other) noexcept {
  if (this != &other) {
    result_ = other.result_;
    paused_ = std::exchange(other.paused_, {});
    journalEntries_ = std::exchange(other.journalEntries_, {});
    unpaused_ = std::exchange(other.unpaused_, {});
    unrecorded_ = std::exchange(other.unrecorded_, {});
    journalFolder_ = std::move(other.journalFolder_);
    reason_ = std::move(other.reason_);
  }
  return *this;
}

void QueueHoldRecord::PauseRecorded(const QueueHoldJournal& journal, const std::string& server,
                                    const std::string& queue, const std::function<Pause()>& pause) {
  // Recorded on disk before the pause: a crash between the two leaves an entry for a
  // running queue, which the next start leaves as it is. A pause that cannot be recorded
  // would outlast a crash for good: the queue is left running instead.
  std::string entry = journal.Record(queue, server, reason_);
  if (entry.empty()) {
    unpaused_.push_back(queue);
    unrecorded_.push_back(queue);
    result_ = WithUnpausedQueue(result_, false);
    return;
  }
  const Pause outcome = pause();
  if (outcome == Pause::kDone) {
    paused_.push_back(queue);
    journalEntries_.push_back(std::move(entry));
    return;
  }
  QueueHoldJournal::Remove(entry);
  unpaused_.push_back(queue);
  result_ = WithUnpausedQueue(result_, outcome == Pause::kRefused);
}

bool QueueHoldRecord::EndEach(const std::function<bool(const std::string& queue)>& endHold) {
  bool resumed = true;
  for (std::size_t i = 0; i < paused_.size(); ++i) {
    const bool done = endHold(paused_[i]);
    // A queue that stays paused keeps its entry: the next start tries again.
    if (done) QueueHoldJournal::Remove(journalEntries_[i]);
    resumed = resumed && done;
  }
  paused_.clear();
  journalEntries_.clear();
  return resumed;
}

}  // namespace kiln::platform
