// The window is not built yet: the interactive mode says so and ends.

#include <cstdio>

#include "app/run_modes.h"

namespace kiln::app {

void RunInteractiveMode(AppSession&, const StartedProgram&, int&, char**) {
  std::fputs("kiln: the window is not available in this build\n", stderr);
}

}  // namespace kiln::app
