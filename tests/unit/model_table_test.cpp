// Lookups in the compiled-in model table.
#include "models/model_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kiln::models {
namespace {

TEST(ModelTable, RowsAreIndexedBySerialNumberAndEndInTheSentinel) {
  for (uint32_t serial = 0; serial <= kModelCount; ++serial) {
    EXPECT_EQ(ModelTable[serial].serialNumber, serial);
    EXPECT_EQ(ModelTable[serial].vidPid >> 16, serial == 0 ? 0u : kVendorId);
  }
  EXPECT_EQ(ModelTable[39].vidPid, kEndOfTable);
  EXPECT_STREQ(ModelTable[39].driverCode, "qpa");
  // Spot checks of rows whose sharing the rest of the program relies on.
  EXPECT_EQ(ModelTable[19].vidPid, 0x2E5A0496u);
  EXPECT_STREQ(FirstGenModelTable[2].driverName, "Orvix Photo Printer T02");
}

TEST(ModelTable, FindByShortName) {
  const PrinterModel* start = FindModelByShortName("start");
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(start->serialNumber, 0u);
  EXPECT_EQ(start->vidPid, 0u);

  const PrinterModel* m22 = FindModelByShortName("orvix m22");
  ASSERT_NE(m22, nullptr);
  EXPECT_EQ(m22->serialNumber, 22u);
  EXPECT_EQ(m22->vidPid, 0x2E5A010Au);

  const PrinterModel* last = FindModelByShortName("ORVIX PHOTO PRINTER T32");
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->serialNumber, 38u);

  EXPECT_EQ(FindModelByShortName("end"), nullptr) << "the sentinel is never returned";
  EXPECT_EQ(FindModelByShortName("M99"), nullptr);
  EXPECT_EQ(FindModelByShortName(""), nullptr);
}

TEST(ModelTable, FindByVidPid) {
  const PrinterModel* m09 = FindModelByVidPid(0x2E5A0103);
  ASSERT_NE(m09, nullptr);
  EXPECT_EQ(m09->serialNumber, 9u);
  EXPECT_STREQ(m09->driverName, "Orvix Photo Printer T08");
  EXPECT_STREQ(m09->driverName, ModelTable[7].driverName);
  EXPECT_STREQ(m09->driverName, ModelTable[22].driverName);

  const PrinterModel* first = FindModelByVidPid(0x2E5A0000);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->serialNumber, 1u) << "row 0's vidPid is 0, not 0x2E5A0000";

  EXPECT_EQ(FindModelByVidPid(0), &ModelTable[0]);
  EXPECT_EQ(FindModelByVidPid(0x2E5AFFFF), nullptr);
  EXPECT_EQ(FindModelByVidPid(kEndOfTable), nullptr);
}

TEST(ModelTable, SerialNumberLookupsCoverOnlyRealModels) {
  EXPECT_EQ(ModelSerialFromName("m07"), 7u);
  EXPECT_EQ(ModelSerialFromName("start"), 0u);
  EXPECT_EQ(ModelSerialFromName("Orvix Photo Printer T20"), 26u);
  EXPECT_EQ(ModelSerialFromVidPid(0x2E5A0303), 38u);
  EXPECT_EQ(ModelSerialFromVidPid(0), 0u);
  EXPECT_EQ(ModelBySerial(38), &ModelTable[38]);
  EXPECT_EQ(ModelBySerial(0), nullptr);
  EXPECT_EQ(ModelBySerial(39), nullptr);
  EXPECT_FALSE(IsLargeModel(18));
  EXPECT_TRUE(IsLargeModel(19));
}

// The columns that set single models apart, and the rule every other number follows.
TEST(ModelTable, QuirksAndFallBackModels) {
  EXPECT_EQ(QuirksOf(5).extraProgrammingSeconds, 190u);
  EXPECT_EQ(QuirksOf(6).cpuSkipVersion, 1.07);
  EXPECT_EQ(QuirksOf(13).deviceBlockOffset, 0x2C000u);
  EXPECT_TRUE(QuirksOf(13).keepsDeviceBlock);
  EXPECT_EQ(QuirksOf(22).tableVersionFromEnd, 9u);
  EXPECT_TRUE(QuirksOf(22).singleBlockTable);
  EXPECT_TRUE(QuirksOf(9).offersSecondEntry && QuirksOf(22).offersSecondEntry);
  for (uint32_t serial : {0u, 7u, 25u, 39u}) {
    SCOPED_TRACE(serial);
    const ModelQuirks& quirks = QuirksOf(serial);
    EXPECT_EQ(quirks.extraProgrammingSeconds, 0u);
    EXPECT_EQ(quirks.cpuSkipVersion, 0.0);
    EXPECT_EQ(quirks.deviceBlockOffset, 0xF4C00u);
    EXPECT_EQ(quirks.deviceBlockSize, 0x3000u);
    EXPECT_EQ(quirks.tableVersionFromEnd, 8u);
    EXPECT_FALSE(quirks.keepsDeviceBlock || quirks.singleBlockTable || quirks.offersSecondEntry);
  }
  EXPECT_EQ(FallBackModelOf(18), 0u);
  EXPECT_EQ(FallBackModelOf(19), 19u);
  EXPECT_EQ(FallBackModelOf(38), 19u);
  EXPECT_EQ(FallBackModelOf(40), 19u);
  EXPECT_EQ(FallBackModelOf(0), 0u);
}

// How a model identifies itself: the columns the printers and their drivers fix.
struct ModelIdentity {
  uint32_t serialNumber;
  uint32_t vidPid;
  const char* shortName;
  const char* driverName;
  const char* driverCode;
  PrinterFamily family;
};

// Every model row as the printers and their drivers identify themselves.
constexpr ModelIdentity kExpectedRows[] = {
    {1, MakeVidPid(0x0000), "M01", "Orvix Photo Printer T03", "q3a", PrinterFamily::kPhoto},
    {2, MakeVidPid(0x0100), "M02", "Orvix Photo Printer T03", "q3a", PrinterFamily::kPhoto},
    {3, MakeVidPid(0x0200), "M03", "Orvix Photo Printer T04", "qda", PrinterFamily::kPhoto},
    {4, MakeVidPid(0x0001), "M04", "Orvix Photo Printer T05", "qpb", PrinterFamily::kPhoto},
    {5, MakeVidPid(0x0101), "M05", "Orvix Photo Printer T06", "qsb", PrinterFamily::kPhoto},
    {6, MakeVidPid(0x0102), "M06", "Orvix Photo Printer T07", "qsc", PrinterFamily::kPhoto},
    {7, MakeVidPid(0x0002), "M07", "Orvix Photo Printer T08", "qpc", PrinterFamily::kPhoto},
    {8, MakeVidPid(0x010C), "M08", "Orvix Photo Printer T09", "qsg", PrinterFamily::kPhoto},
    {9, MakeVidPid(0x0103), "M09", "Orvix Photo Printer T08", "qpc", PrinterFamily::kPhoto},
    {10, MakeVidPid(0x0201), "M10", "Orvix Photo Printer T10", "qdb", PrinterFamily::kPhoto},
    {11, MakeVidPid(0x0003), "M11", "Orvix Photo Printer T11", "qpd", PrinterFamily::kPhoto},
    {12, MakeVidPid(0x020B), "M12", "Orvix Photo Printer T12", "qdg", PrinterFamily::kPhoto},
    {13, MakeVidPid(0x0104), "M13", "Orvix Photo Printer T03", "q3a", PrinterFamily::kPhoto},
    {14, MakeVidPid(0x0105), "M14", "Orvix Photo Printer T07", "qsc", PrinterFamily::kPhoto},
    {15, MakeVidPid(0x0004), "M15", "Orvix Photo Printer T03", "q3a", PrinterFamily::kPhoto},
    {16, MakeVidPid(0x0005), "M16", "Orvix Photo Printer T13", "qpe", PrinterFamily::kPhoto},
    {17, MakeVidPid(0x0106), "M17", "Orvix Photo Printer T14", "qsd", PrinterFamily::kPhoto},
    {18, MakeVidPid(0x010D), "M18", "Orvix Photo Printer T15", "qsc", PrinterFamily::kPhoto},
    {19, MakeVidPid(0x0496), "OEE", "Orvix Photo Printer T16", "qsf", PrinterFamily::kDual},
    {20, MakeVidPid(0x0300), "M20", "Orvix Photo Printer T17", "qca", PrinterFamily::kCard},
    {21, MakeVidPid(0x0301), "M21", "Orvix Photo Printer T18", "qca", PrinterFamily::kCard},
    {22, MakeVidPid(0x010A), "Orvix M22", "Orvix Photo Printer T08", "qpc", PrinterFamily::kDual},
    {23, MakeVidPid(0x0006), "M23", "Orvix Photo Printer T19", "qse", PrinterFamily::kDual},
    {24, MakeVidPid(0x0107), "M24", "Orvix Photo Printer T19", "qse", PrinterFamily::kDual},
    {25, MakeVidPid(0x0108), "M25", "Orvix Photo Printer T16", "qsf", PrinterFamily::kDual},
    {26, MakeVidPid(0x0109), "Orvix Photo Printer T20", "Orvix Photo Printer T20", "qsf",
     PrinterFamily::kDual},
    {27, MakeVidPid(0x0204), "M27", "Orvix Photo Printer T21", "qdc", PrinterFamily::kDual},
    {28, MakeVidPid(0x0205), "M28", "Orvix Photo Printer T22", "qdc", PrinterFamily::kDual},
    {29, MakeVidPid(0x0207), "M29", "Orvix Photo Printer T23", "qdc", PrinterFamily::kDual},
    {30, MakeVidPid(0x0206), "M30", "Orvix Photo Printer T24", "qdc", PrinterFamily::kDual},
    {31, MakeVidPid(0x0208), "M31", "Orvix Photo Printer T25", "qdc", PrinterFamily::kDual},
    {32, MakeVidPid(0x0209), "M32", "Orvix Photo Printer T26", "qde", PrinterFamily::kDual},
    {33, MakeVidPid(0x020A), "M33", "Orvix Photo Printer T27", "qdf", PrinterFamily::kDual},
    {34, MakeVidPid(0x010B), "M34", "Orvix Photo Printer T28", "qsh", PrinterFamily::kDual},
    {35, MakeVidPid(0x010E), "Orvix M35", "Orvix Photo Printer T29", "qra", PrinterFamily::kDual},
    {36, MakeVidPid(0x0007), "Orvix M36", "Orvix Photo Printer T30", "qra", PrinterFamily::kDual},
    {37, MakeVidPid(0x0302), "Orvix Photo Printer T31", "Orvix Photo Printer T31", "qcb",
     PrinterFamily::kCard},
    {38, MakeVidPid(0x0303), "Orvix Photo Printer T32", "Orvix Photo Printer T32", "qcc",
     PrinterFamily::kCard},
};

TEST(ModelTable, EveryRowMatchesItsPrinter) {
  std::set<uint32_t> productIds;
  for (const ModelIdentity& expected : kExpectedRows) {
    const uint32_t serial = expected.serialNumber;
    SCOPED_TRACE(serial);
    const PrinterModel& model = ModelTable[serial];
    EXPECT_EQ(model.vidPid, expected.vidPid);
    EXPECT_EQ(model.vidPid >> 16, 0x2E5Au);
    EXPECT_STREQ(model.shortName, expected.shortName);
    EXPECT_STREQ(model.driverName, expected.driverName);
    EXPECT_STREQ(model.driverCode, expected.driverCode);
    EXPECT_EQ(model.family, expected.family);
    EXPECT_TRUE(productIds.insert(model.vidPid).second) << "product ID used twice";
  }
  EXPECT_EQ(productIds.size(), kModelCount);
}

}  // namespace
}  // namespace kiln::models
