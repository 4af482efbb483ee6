#pragma once

#include <string>

#include "platform/pipe_file.h"

namespace kiln::platform {

// Why opening a printer's node (usblp's /dev/usb/lpN or the USB device's /dev/bus/usb
// node) failed with errnoValue, as the user is told: EBUSY is another program holding
// it, named where /proc tells; EACCES and EPERM are a permission the user lacks, with
// what grants it. kNone for any other errno.
OpenRefusal NodeRefusal(int errnoValue, const std::string& node);

// Another program holds node: "in use by another program (name, process N)".
OpenRefusal InUseRefusal(const std::string& node);

// The user may not open node: names it and says what grants access.
OpenRefusal NoAccessRefusal(const std::string& node);

}  // namespace kiln::platform
