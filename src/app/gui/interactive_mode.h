#pragma once

#include "app/app_session.h"
#include "app/run_modes.h"

namespace kiln::app {

// The interactive mode inside an application object that already exists: the main
// window with its real printer, driver and device services, until it closes.
void RunMainWindow(AppSession& session, const StartedProgram& program);

}  // namespace kiln::app
