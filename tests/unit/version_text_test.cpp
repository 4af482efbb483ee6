#include <gtest/gtest.h>

#include "app/version_text.h"

namespace kiln::app {
namespace {

TEST(VersionText, ComparedAsTextsWithoutCase) {
  EXPECT_TRUE(PackageOlderThanDevice("1.06", "1.07"));
  EXPECT_FALSE(PackageOlderThanDevice("1.07", "1.07a")) << "only the first four count";
  EXPECT_TRUE(PackageOlderThanDevice("1.07", "1.1")) << "as text, 1.1 is greater than 1.07";
  EXPECT_TRUE(PackageOlderThanDevice("10.0", "9.00")) << "as text, 10.0 is smaller than 9.00";
  EXPECT_FALSE(PackageOlderThanDevice("1.0B", "1.0a"));
  EXPECT_EQ(CompareVersionText("1.0A", "1.0a"), 0);
  EXPECT_FALSE(PackageOlderThanDevice("1.07", ""));

  EXPECT_TRUE(DeviceOlderThanPackage("1.06z", "1.07"));
  EXPECT_FALSE(DeviceOlderThanPackage("1.10", "1.07"));
  EXPECT_FALSE(DeviceOlderThanPackage("1.07", "1.07"));
}

TEST(VersionText, DecimalReading) {
  EXPECT_GE(VersionAsDecimal("1.07"), 1.07);
  EXPECT_GE(VersionAsDecimal("1.07a"), 1.07);
  EXPECT_LT(VersionAsDecimal("1.06"), 1.07);
  EXPECT_EQ(VersionAsDecimal("N/A"), 0.0);
}

TEST(VersionText, PackedVersions) {
  EXPECT_EQ(PackVersion("1.07"), 0x01070000u);
  EXPECT_EQ(PackVersion("2"), 0x02020000u);
  EXPECT_EQ(PackVersion("300.257"), 0x2C010000u) << "each number modulo 256";
  EXPECT_EQ(PackVersion("N/A"), 0u);
  EXPECT_EQ(PackVersion(""), 0u);
  EXPECT_EQ(PackVersion("1.x"), 0x01000000u);
}

}  // namespace
}  // namespace kiln::app
