#pragma once

#include <cstdint>
#include <string_view>

namespace kiln::models {

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

// How a model takes its packets and its firmware: padded packets and one image, or the
// large models' packets and three files (code, table, image).
enum class TransferMode { kPadded, kLarge };

// Where a new image holds the printer's device data block, and how long the block may be.
inline constexpr uint32_t kDeviceBlockOffset = 0xF4C00;
inline constexpr uint32_t kDeviceBlockSize = 0x3000;
// How far from its end a table file keeps its version text.
inline constexpr uint32_t kTableVersionFromEnd = 8;

// What sets one model apart from the rest of the family. A row that names nothing here
// follows the family's rule.
struct ModelQuirks {
  // Seconds the printer needs to program its flash beyond what its package says.
  uint32_t extraProgrammingSeconds = 0;
  // The printer keeps a device data block although it is no large model.
  bool keepsDeviceBlock = false;
  uint32_t deviceBlockOffset = kDeviceBlockOffset;
  uint32_t deviceBlockSize = kDeviceBlockSize;
  // From this version on (read as a decimal number) the printer has its CPU code already,
  // and the silent update skips the CPU step; 0: never skipped.
  double cpuSkipVersion = 0;
  uint32_t tableVersionFromEnd = kTableVersionFromEnd;
  // A colour table is merged as its first block only, not as three blocks.
  bool singleBlockTable = false;
  // The model's folder may hold a second model entry for its sibling model (M09 and
  // M09+ share a driver): the Setting dialog of entry 1 offers SupportModel2.
  bool offersSecondEntry = false;
};

struct PrinterModel {
  uint32_t serialNumber;
  uint32_t vidPid;
  const char* shortName;
  const char* driverName;
  const char* driverCode;
  PrinterFamily family;
  TransferMode transfer;
  // The model a printer of this model may answer as when it does not answer as itself
  // (model 19's product ID); 0 when it answers only as itself.
  uint32_t fallBackModel;
  ModelQuirks quirks;
};

// Row 0 is the start row, rows 1 to 38 are the models (row index = serial number),
// row 39 is the end sentinel (vidPid 0xFFFFFFFF).
extern const PrinterModel ModelTable[40];
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

// Whether the model uses the large-model transfer mode; a number that is no model's
// counts as large from the first large model on.
bool IsLargeModel(uint32_t serialNumber);

// The model a printer of this model may answer as besides itself (FallBackModel), 0 for
// none; a number that is no model's falls back as the large models do from the first
// large model on.
uint32_t FallBackModelOf(uint32_t serialNumber);

// The quirks of the model; the family's rule for a number that is no model's.
const ModelQuirks& QuirksOf(uint32_t serialNumber);

// The family of serial numbers 1 to 38; any other number counts as a photo printer below
// the first large model and as a dual printer from it on.
PrinterFamily FamilyOfModel(uint32_t serialNumber);
inline bool IsCardPrinter(uint32_t serialNumber) {
  return FamilyOfModel(serialNumber) == PrinterFamily::kCard;
}

}  // namespace kiln::models
