#include "app/reachability_hint.h"

#include "usb/model_table.h"

namespace kiln::app {

bool SeenButUnreachable(const UnreachablePrinterProbe& probe, uint32_t model) {
  if (!probe || model == 0 || model > usb::kModelCount) return false;
  const auto seen = [&probe](uint32_t serial) {
    const uint16_t productId = usb::ProductIdOf(usb::ModelTable[serial].vidPid);
    return !probe(static_cast<uint16_t>(usb::kVendorId), productId).empty();
  };
  if (seen(model)) return true;
  return usb::IsLargeModel(model) && model != usb::kFirstLargeModel && seen(usb::kFirstLargeModel);
}

}  // namespace kiln::app
