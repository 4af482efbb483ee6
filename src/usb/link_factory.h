#pragma once

#include <functional>
#include <memory>

#include "usb/usb_link.h"

namespace kiln::usb {

// Makes the link of one printer task. Production code makes a plain CUsbLink; tests
// make links on the virtual printer.
using LinkFactory = std::function<std::unique_ptr<CUsbLink>()>;

inline LinkFactory DefaultLinkFactory() {
  return [] { return std::make_unique<CUsbLink>(); };
}

}  // namespace kiln::usb
