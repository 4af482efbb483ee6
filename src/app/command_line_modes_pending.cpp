// The command-line modes are not built yet: each says so and ends.

#include <cstdio>

#include "app/run_modes.h"

namespace kiln::app {

void RunVersionReport(AppSession&, const StartedProgram&) {
  std::fputs("kiln: the version report is not available in this build\n", stderr);
}

void RunSilentUpdate(AppSession&, const StartedProgram&) {
  std::fputs("kiln: the silent update is not available in this build\n", stderr);
}

}  // namespace kiln::app
