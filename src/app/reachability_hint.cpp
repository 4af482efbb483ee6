#include "app/reachability_hint.h"

#include "models/model_table.h"

namespace kiln::app {

bool SeenButUnreachable(const UnreachablePrinterProbe& probe, uint32_t model) {
  if (!probe || model == 0 || model > models::kModelCount) return false;
  const auto seen = [&probe](uint32_t serial) {
    const uint16_t productId = models::ProductIdOf(models::ModelTable[serial].vidPid);
    return !probe(static_cast<uint16_t>(models::kVendorId), productId).empty();
  };
  if (seen(model)) return true;
  const uint32_t fallBack = models::FallBackModelOf(model);
  return fallBack != 0 && fallBack != model && seen(fallBack);
}

}  // namespace kiln::app
