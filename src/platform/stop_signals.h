#pragma once

namespace kiln::platform {

// SIGINT, SIGTERM and SIGHUP ask Kiln to stop; they never end it abruptly, because a
// printer cut off mid-download or print queues left paused are worse than a late stop.
//
// WatchStopSignals blocks the three signals in the calling thread, and so in every
// thread started after it, and takes them on a thread of its own with sigwait: no
// transfer, poll or pause anywhere is interrupted by them. The program looks at
// StopRequested where it can end cleanly (before an update starts, between its steps,
// after it). Call it once, early in main, before any other thread is started; later
// calls do nothing.
void WatchStopSignals();

// The first stop signal received since WatchStopSignals, 0 when none was.
int StopRequested();

// A descriptor that becomes readable when the first stop signal arrives (for an event
// loop); -1 before WatchStopSignals.
int StopSignalDescriptor();

}  // namespace kiln::platform
