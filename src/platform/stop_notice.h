#pragma once

namespace kiln::platform {

// Records a stop signal for StopRequested: the first one is kept, later ones are not.
// True for the first, after the waiting WhenStopRequested callback has been called. Each
// system's signal watcher calls it from the thread that takes the signals.
bool NoteStop(int signal);

}  // namespace kiln::platform
