#pragma once

// The window's dialogs are placed with the maintenance dialogs' dialog-unit conversions.
#include "tools/dialog_units.h"

namespace kiln::app {
using tools::AddControl;
using tools::DialogRect;
using tools::PlaceInDialog;
using tools::SizeDialog;
}  // namespace kiln::app
