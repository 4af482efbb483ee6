#include "models/model_table.h"

#include <string>

#include "platform/ini_document.h"

namespace kiln::models {

namespace {
constexpr uint32_t V(uint16_t pid) {
  return MakeVidPid(pid);
}
constexpr PrinterFamily kPhoto = PrinterFamily::kPhoto;
constexpr PrinterFamily kDual = PrinterFamily::kDual;
constexpr PrinterFamily kCard = PrinterFamily::kCard;
constexpr TransferMode kPadded = TransferMode::kPadded;
constexpr TransferMode kLarge = TransferMode::kLarge;
constexpr uint32_t kNone = 0;
constexpr uint32_t kOee = kFirstLargeModel;
}  // namespace

const PrinterModel ModelTable[40] = {
    {0, 0, "start", "start", "xxx", kPhoto, kPadded, kNone, {}},
    {1, V(0x0000), "M01", "Orvix Photo Printer T03", "q3a", kPhoto, kPadded, kNone, {}},
    {2, V(0x0100), "M02", "Orvix Photo Printer T03", "q3a", kPhoto, kPadded, kNone, {}},
    {3, V(0x0200), "M03", "Orvix Photo Printer T04", "qda", kPhoto, kPadded, kNone, {}},
    {4, V(0x0001), "M04", "Orvix Photo Printer T05", "qpb", kPhoto, kPadded, kNone, {}},
    {5,
     V(0x0101),
     "M05",
     "Orvix Photo Printer T06",
     "qsb",
     kPhoto,
     kPadded,
     kNone,
     {.extraProgrammingSeconds = 190}},
    {6,
     V(0x0102),
     "M06",
     "Orvix Photo Printer T07",
     "qsc",
     kPhoto,
     kPadded,
     kNone,
     {.cpuSkipVersion = 1.07}},
    {7, V(0x0002), "M07", "Orvix Photo Printer T08", "qpc", kPhoto, kPadded, kNone, {}},
    {8, V(0x010C), "M08", "Orvix Photo Printer T09", "qsg", kPhoto, kPadded, kNone, {}},
    {9,
     V(0x0103),
     "M09",
     "Orvix Photo Printer T08",
     "qpc",
     kPhoto,
     kPadded,
     kNone,
     {.offersSecondEntry = true}},
    {10, V(0x0201), "M10", "Orvix Photo Printer T10", "qdb", kPhoto, kPadded, kNone, {}},
    {11, V(0x0003), "M11", "Orvix Photo Printer T11", "qpd", kPhoto, kPadded, kNone, {}},
    {12, V(0x020B), "M12", "Orvix Photo Printer T12", "qdg", kPhoto, kPadded, kNone, {}},
    {13,
     V(0x0104),
     "M13",
     "Orvix Photo Printer T03",
     "q3a",
     kPhoto,
     kPadded,
     kNone,
     {.keepsDeviceBlock = true, .deviceBlockOffset = 0x2C000}},
    {14, V(0x0105), "M14", "Orvix Photo Printer T07", "qsc", kPhoto, kPadded, kNone, {}},
    {15, V(0x0004), "M15", "Orvix Photo Printer T03", "q3a", kPhoto, kPadded, kNone, {}},
    {16, V(0x0005), "M16", "Orvix Photo Printer T13", "qpe", kPhoto, kPadded, kNone, {}},
    {17, V(0x0106), "M17", "Orvix Photo Printer T14", "qsd", kPhoto, kPadded, kNone, {}},
    {18, V(0x010D), "M18", "Orvix Photo Printer T15", "qsc", kPhoto, kPadded, kNone, {}},
    {19, V(0x0496), "OEE", "Orvix Photo Printer T16", "qsf", kDual, kLarge, kOee, {}},
    {20, V(0x0300), "M20", "Orvix Photo Printer T17", "qca", kCard, kLarge, kOee, {}},
    {21, V(0x0301), "M21", "Orvix Photo Printer T18", "qca", kCard, kLarge, kOee, {}},
    {22,
     V(0x010A),
     "Orvix M22",
     "Orvix Photo Printer T08",
     "qpc",
     kDual,
     kLarge,
     kOee,
     {.tableVersionFromEnd = 9, .singleBlockTable = true, .offersSecondEntry = true}},
    {23, V(0x0006), "M23", "Orvix Photo Printer T19", "qse", kDual, kLarge, kOee, {}},
    {24, V(0x0107), "M24", "Orvix Photo Printer T19", "qse", kDual, kLarge, kOee, {}},
    {25, V(0x0108), "M25", "Orvix Photo Printer T16", "qsf", kDual, kLarge, kOee, {}},
    {26,
     V(0x0109),
     "Orvix Photo Printer T20",
     "Orvix Photo Printer T20",
     "qsf",
     kDual,
     kLarge,
     kOee,
     {}},
    {27, V(0x0204), "M27", "Orvix Photo Printer T21", "qdc", kDual, kLarge, kOee, {}},
    {28, V(0x0205), "M28", "Orvix Photo Printer T22", "qdc", kDual, kLarge, kOee, {}},
    {29, V(0x0207), "M29", "Orvix Photo Printer T23", "qdc", kDual, kLarge, kOee, {}},
    {30, V(0x0206), "M30", "Orvix Photo Printer T24", "qdc", kDual, kLarge, kOee, {}},
    {31, V(0x0208), "M31", "Orvix Photo Printer T25", "qdc", kDual, kLarge, kOee, {}},
    {32, V(0x0209), "M32", "Orvix Photo Printer T26", "qde", kDual, kLarge, kOee, {}},
    {33, V(0x020A), "M33", "Orvix Photo Printer T27", "qdf", kDual, kLarge, kOee, {}},
    {34, V(0x010B), "M34", "Orvix Photo Printer T28", "qsh", kDual, kLarge, kOee, {}},
    {35, V(0x010E), "Orvix M35", "Orvix Photo Printer T29", "qra", kDual, kLarge, kOee, {}},
    {36, V(0x0007), "Orvix M36", "Orvix Photo Printer T30", "qra", kDual, kLarge, kOee, {}},
    {37,
     V(0x0302),
     "Orvix Photo Printer T31",
     "Orvix Photo Printer T31",
     "qcb",
     kCard,
     kLarge,
     kOee,
     {}},
    {38,
     V(0x0303),
     "Orvix Photo Printer T32",
     "Orvix Photo Printer T32",
     "qcc",
     kCard,
     kLarge,
     kOee,
     {}},
    {kEndOfTable, kEndOfTable, "end", "end", "qpa", kDual, kLarge, kNone, {}},
};

const PrinterModel FirstGenModelTable[3] = {
    {0, 0, "start", "start", "xxx", kPhoto, kPadded, kNone, {}},
    {1, V(0x0000), "M01", "Orvix Photo Printer T01", "qpa", kPhoto, kPadded, kNone, {}},
    {2, V(0x0100), "M02", "Orvix Photo Printer T02", "qsa", kPhoto, kPadded, kNone, {}},
};

namespace {

bool EqualsIgnoringCase(std::string_view a, const char* b) {
  return platform::EqualsNoCase(a, b);
}

}  // namespace

const PrinterModel* FindModelByShortName(std::string_view name) {
  for (const PrinterModel& row : ModelTable) {
    if (row.vidPid == kEndOfTable) break;
    if (EqualsIgnoringCase(name, row.shortName)) return &row;
  }
  return nullptr;
}

const PrinterModel* FindModelByVidPid(uint32_t vidPid) {
  for (const PrinterModel& row : ModelTable) {
    if (row.vidPid == kEndOfTable) break;
    if (row.vidPid == vidPid) return &row;
  }
  return nullptr;
}

uint32_t ModelSerialFromName(std::string_view name) {
  for (uint32_t serial = 1; serial <= kModelCount; ++serial) {
    if (EqualsIgnoringCase(name, ModelTable[serial].shortName)) return serial;
  }
  return 0;
}

uint32_t ModelSerialFromVidPid(uint32_t vidPid) {
  for (uint32_t serial = 1; serial <= kModelCount; ++serial) {
    if (ModelTable[serial].vidPid == vidPid) return serial;
  }
  return 0;
}

const PrinterModel* ModelBySerial(uint32_t serialNumber) {
  if (serialNumber < 1 || serialNumber > kModelCount) return nullptr;
  return &ModelTable[serialNumber];
}

bool IsLargeModel(uint32_t serialNumber) {
  if (const PrinterModel* row = ModelBySerial(serialNumber)) return row->transfer == kLarge;
  return serialNumber >= kFirstLargeModel;
}

uint32_t FallBackModelOf(uint32_t serialNumber) {
  if (const PrinterModel* row = ModelBySerial(serialNumber)) return row->fallBackModel;
  return serialNumber >= kFirstLargeModel ? kOee : kNone;
}

const ModelQuirks& QuirksOf(uint32_t serialNumber) {
  static const ModelQuirks kFamilyRule{};
  const PrinterModel* row = ModelBySerial(serialNumber);
  return row != nullptr ? row->quirks : kFamilyRule;
}

PrinterFamily FamilyOfModel(uint32_t serialNumber) {
  if (const PrinterModel* row = ModelBySerial(serialNumber)) return row->family;
  return serialNumber < kFirstLargeModel ? PrinterFamily::kPhoto : PrinterFamily::kDual;
}

}  // namespace kiln::models
