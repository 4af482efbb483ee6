// Lookups in the compiled-in model table.
#include <gtest/gtest.h>

#include <string>

#include "usb/model_table.h"

namespace kiln::usb {
namespace {

TEST(ModelTable, RowsAreIndexedBySerialNumberAndEndInTheSentinel) {
  for (uint32_t serial = 0; serial <= kModelCount; ++serial) {
    EXPECT_EQ(ModelTable[serial].serialNumber, serial);
    EXPECT_EQ(ModelTable[serial].vidPid >> 16, serial == 0 ? 0u : kVendorId);
    EXPECT_EQ(std::string(ModelInterfaceGuids[serial]).size(), 38u);
  }
  EXPECT_EQ(ModelTable[39].vidPid, kEndOfTable);
  EXPECT_STREQ(ModelTable[39].driverCode, "qpa");
  EXPECT_STREQ(ModelInterfaceGuids[39], "{00000000-0000-0000-0000-000000000000}");
  EXPECT_EQ(ModelInterfaceGuids[40], nullptr);
  // Spot checks of rows whose sharing the rest of the program relies on.
  EXPECT_STREQ(ModelInterfaceGuids[36], ModelInterfaceGuids[35]);
  EXPECT_STREQ(ModelInterfaceGuids[23], "{2E5A0107-4A21-11D5-9C3E-0050BA7713F2}");
  EXPECT_EQ(ModelTable[19].vidPid, 0x2E5A0496u);
  EXPECT_STREQ(FirstGenModelTable[2].driverName, "Orvix Photo Printer T02");
  EXPECT_STREQ(LegacyInterfaceGuids[1], "{4F525658-3C19-11D4-8E72-0050BA55A1C4}");
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

}  // namespace
}  // namespace kiln::usb
