#pragma once

#include <cstdint>
#include <string_view>

namespace kiln::usb {

// The USB vendor ID shared by every model of the family.
inline constexpr uint32_t kVendorId = 0x2E5A;
inline constexpr uint32_t kEndOfTable = 0xFFFFFFFF;
// Number of real models: serial numbers 1 to 38.
inline constexpr uint32_t kModelCount = 38;
// Models from this serial number on use the large-model transfer mode; a printer of
// such a model may also answer under model 19's product ID.
inline constexpr uint32_t kFirstLargeModel = 19;

// vendor ID << 16 | product ID, the form used by the model table, package headers and
// device discovery.
constexpr uint32_t MakeVidPid(uint16_t productId) {
  return (kVendorId << 16) | productId;
}
constexpr uint16_t ProductIdOf(uint32_t vidPid) {
  return static_cast<uint16_t>(vidPid & 0xFFFF);
}

// The printer families of the error message catalogues; card printers also lay out
// their status record in their own, shorter way.
enum class PrinterFamily { kPhoto, kDual, kCard };

struct PrinterModel {
  uint32_t serialNumber;
  uint32_t vidPid;
  const char* shortName;
  const char* driverName;
  const char* driverCode;
  PrinterFamily family;
};

// Row 0 is the start row, rows 1 to 38 are the models (row index = serial number),
// row 39 is the end sentinel (vidPid 0xFFFFFFFF).
extern const PrinterModel ModelTable[40];
// Interface GUIDs in registry form, indexed by serial number 0 to 39, then nullptr.
extern const char* const ModelInterfaceGuids[41];
// The interface GUIDs of the first-generation drivers of models 1 and 2 (entry 0 is
// the all-zero GUID).
extern const char* const LegacyInterfaceGuids[3];
// The start row and the first-generation rows of models 1 and 2 (no end sentinel).
extern const PrinterModel FirstGenModelTable[3];

// First row (from row 0, up to the sentinel) whose short name equals name without
// regard to case; nullptr when none does. "start" finds row 0.
const PrinterModel* FindModelByShortName(std::string_view name);

// First row (from row 0, up to the sentinel) whose vidPid equals vidPid; nullptr when
// none does.
const PrinterModel* FindModelByVidPid(uint32_t vidPid);

// Serial number (1 to 38) of the first model whose short name equals name without
// regard to case; 0 when none does.
uint32_t ModelSerialFromName(std::string_view name);

// Serial number (1 to 38) of the first model with this vidPid; 0 when none has it.
uint32_t ModelSerialFromVidPid(uint32_t vidPid);

// The model row for serial numbers 1 to 38, nullptr otherwise.
const PrinterModel* ModelBySerial(uint32_t serialNumber);

inline bool IsLargeModel(uint32_t serialNumber) {
  return serialNumber >= kFirstLargeModel;
}

// The family of serial numbers 1 to 38; any other number counts as a photo printer below
// the first large model and as a dual printer from it on.
PrinterFamily FamilyOfModel(uint32_t serialNumber);
inline bool IsCardPrinter(uint32_t serialNumber) {
  return FamilyOfModel(serialNumber) == PrinterFamily::kCard;
}

}  // namespace kiln::usb
