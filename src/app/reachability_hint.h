#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "i18n/string_table.h"

namespace kiln::app {

// USB devices of a vendor and product that the kernel shows but no printer node
// reaches; their port paths, empty when there are none.
using UnreachablePrinterProbe =
    std::function<std::vector<std::string>(uint16_t vendorId, uint16_t productId)>;

// What a user can do about a printer the kernel sees but Kiln cannot open: the
// language key and its English text.
inline constexpr const i18n::TextKey& kUnreachablePrinterHint = i18n::keys::kPrinterUnreachable;

// Whether probe finds a USB device of model (serial number 1 to 38) that no printer
// node reaches. A large model's printer may also show under the fall-back model's
// product ID, so that one is looked for too.
bool SeenButUnreachable(const UnreachablePrinterProbe& probe, uint32_t model);

}  // namespace kiln::app
