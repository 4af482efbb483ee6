#pragma once

#include <functional>

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

// Blocks the three signals in the calling thread, nothing more: for the program's very
// first code, before the libraries' initialisers run, so that a stop that comes while
// Kiln starts waits for WatchStopSignals instead of ending it. Linux only; it keeps no
// state and may run before anything else of Kiln is set up.
void HoldStopSignals();

// The first stop signal received since WatchStopSignals, 0 when none was.
int StopRequested();

// A descriptor that becomes readable when the first stop signal arrives (for an event
// loop); -1 before WatchStopSignals, and always on Windows, which has WhenStopRequested.
int StopSignalDescriptor();

// Calls wake once, when the first stop arrives: on the thread that takes the signals
// (Windows: the console's control thread), or at once on the calling thread when a stop
// has arrived already. It is how an event loop that waits on no descriptor learns of a
// stop: a native window posts itself a message from it. wake must be quick and may not
// block. A later call replaces an earlier wake that has not been called yet.
void WhenStopRequested(std::function<void()> wake);

}  // namespace kiln::platform
