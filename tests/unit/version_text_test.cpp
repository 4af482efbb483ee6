#include "app/version_text.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "support/temp_dir.h"

namespace kiln::app {
namespace {

using namespace std::string_view_literals;

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

TEST(VersionText, DecimalReadingIgnoresTheLocale) {
  // A locale whose decimal separator is a comma, as the GUI may set for a user.
  const kiln::testing::TempDir dir;
  dir.Write("comma.src",
            "LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"\"\n"
            "grouping -1\nEND LC_NUMERIC\n");
  const std::string make = "localedef -c -i " + dir.File("comma.src") + " -f UTF-8 " +
                           dir.File("comma") + " >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0 && !std::filesystem::exists(dir.File("comma"))) {
    GTEST_SKIP() << "localedef cannot build a test locale here";
  }
  ::setenv("LOCPATH", dir.path().string().c_str(), 1);
  ASSERT_NE(std::setlocale(LC_NUMERIC, "comma"), nullptr);
  const double read = VersionAsDecimal("1.07");
  std::setlocale(LC_NUMERIC, "C");
  ::unsetenv("LOCPATH");
  EXPECT_GE(read, 1.07);
}

TEST(VersionText, PackedVersions) {
  EXPECT_EQ(PackVersion("200.1"), 0xC8010000u) << "a major above 127 keeps its top bit";
  EXPECT_EQ(PackVersion("1.07"), 0x01070000u);
  EXPECT_EQ(PackVersion("2"), 0x02020000u);
  EXPECT_EQ(PackVersion("300.257"), 0x2C010000u) << "each number modulo 256";
  EXPECT_EQ(PackVersion("N/A"), 0u);
  EXPECT_EQ(PackVersion(""), 0u);
  EXPECT_EQ(PackVersion("1.x"), 0u) << "no version: packs as none";
  EXPECT_EQ(PackVersion("zz.q"), 0u);
}

TEST(VersionText, TextsThatStateNoVersionAreNeverOlderOrNewer) {
  // Either side not a version: nothing is written, and nothing blocks as a downgrade.
  for (const char* noVersion : {"zz.q", "\xFF\xFE", "    ", "", "N/A"}) {
    EXPECT_FALSE(DeviceOlderThanPackage("1.05", noVersion)) << noVersion;
    EXPECT_FALSE(DeviceOlderThanPackage(noVersion, "1.10")) << noVersion;
    EXPECT_FALSE(PackageOlderThanDevice(noVersion, "1.05")) << noVersion;
    EXPECT_FALSE(PackageOlderThanDevice("1.05", noVersion)) << noVersion;
  }
  EXPECT_TRUE(DeviceOlderThanPackage("1.05", "1.10"));
}

TEST(VersionText, WhatStatesAVersion) {
  using config::IsFirmwareVersion;
  for (const std::string_view version :
       {"1.07"sv, "2"sv, "1.0a"sv, "1.07b2"sv, "1.07.1"sv, "1.10  "sv, "1.10\0\0"sv}) {
    EXPECT_TRUE(IsFirmwareVersion(version)) << version;
  }
  for (const std::string_view noVersion :
       {"1."sv, ".1"sv, "1.0/"sv, "1.0\xFF"sv, "1.0-rc"sv, "1 .1"sv, " 1.0"sv, "1\0.1"sv}) {
    EXPECT_FALSE(IsFirmwareVersion(noVersion)) << noVersion;
  }
}

TEST(VersionText, PaddingNeverMakesAVersionDifferFromItself) {
  // A header's version padded with blanks or zero bytes is the same version as the
  // printer's bare one: not older, not newer, and the printer running it states it.
  for (const std::string_view padded : {"1.1 "sv, "1.1  "sv, "1.1\0\0"sv}) {
    EXPECT_FALSE(DeviceOlderThanPackage("1.1"sv, padded)) << padded;
    EXPECT_FALSE(PackageOlderThanDevice(padded, "1.1")) << padded;
    EXPECT_TRUE(config::StatesVersion("1.1"sv, padded)) << padded;
    EXPECT_TRUE(config::StatesVersion(padded, "1.1")) << padded;
    EXPECT_TRUE(DeviceOlderThanPackage("1.0"sv, padded)) << padded;
  }
}

}  // namespace
}  // namespace kiln::app
