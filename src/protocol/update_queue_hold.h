#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/print_queue_hold.h"

namespace kiln::protocol {

// The print queues held for one printer while its firmware is written. Ending it
// resumes the queues it paused.
class HeldQueues {
 public:
  virtual ~HeldQueues() = default;
  // A line for the user when some queue could not be paused; empty when all are held.
  virtual std::string Warning() const = 0;
  // Resumes the paused queues now; false when one of them stays paused.
  virtual bool Release() = 0;
};

// Holds the queues that print to the printer. The download takes one so that its tests
// need no print server.
using QueueHolder = std::function<std::unique_ptr<HeldQueues>(const platform::QueuePrinter&)>;

// The print server's queues (platform::PrintQueueHold). The printer's USB serial number
// is looked up from its node when the caller does not know it.
QueueHolder SystemQueueHolder();

}  // namespace kiln::protocol
