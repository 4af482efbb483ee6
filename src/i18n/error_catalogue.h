#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The English messages for the error codes a firmware download can end with: transfer
// results of the USB link, host-side codes of the 0x11000000 range and the printers' own
// 24-bit error codes. Each printer family has its own catalogue; the main window shows
// the message after translating it through the printer driver's language file.
namespace kiln::i18n {

struct ErrorRow {
  uint32_t code;
  const char* message;
};

// An ordered, read-only catalogue: a start row (code 0, empty message), the message
// rows, and a terminator row of code kCatalogueEnd. No code occurs twice.
using ErrorCatalogue = std::span<const ErrorRow>;

inline constexpr uint32_t kCatalogueEnd = 0xFFFFFFFF;

// Message rows between the start row and the terminator.
inline constexpr std::size_t kPhotoPrinterRowCount = 68;
inline constexpr std::size_t kDualPrinterRowCount = 91;
inline constexpr std::size_t kCardPrinterRowCount = 84;

// Models 1 to 18.
ErrorCatalogue PhotoPrinterCatalogue();
// Model 19 and models 22 to 36 (and any other serial number from 19 up).
ErrorCatalogue DualPrinterCatalogue();
// Models 20, 21, 37 and 38.
ErrorCatalogue CardPrinterCatalogue();

// The catalogue of a model serial number (below 19: photo printers).
ErrorCatalogue ErrorCatalogueForModel(uint32_t modelSerial);

// The message of the first row after the start row whose code equals code, in the
// model's catalogue; nullptr when no row carries it (code 0 never matches).
const char* FindErrorMessage(uint32_t modelSerial, uint32_t code);

}  // namespace kiln::i18n
