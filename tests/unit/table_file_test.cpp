// The table-file combiner: region placement, checksums, version text, and that no
// failure leaves a partial output or damages an input.
#include "tools/table_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "support/temp_dir.h"

namespace kiln::tools {
namespace {

using kiln::testing::TempDir;

std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) & 0xFF);
  return bytes;
}

unsigned RegionSum(const std::string& image, const TableRegion& region) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < region.length; ++i) {
    sum += static_cast<unsigned char>(image[region.offset + i]);
  }
  return sum & 0xFF;
}

class Combiner : public ::testing::Test {
 protected:
  TableInputs Inputs(const std::string& cvd, const std::string& heating,
                     const std::string& colour) {
    return {dir_.Write("cvd.dat", cvd), dir_.Write("heat.bin", heating),
            dir_.Write("colour.dat", colour)};
  }
  TempDir dir_;
};

TEST_F(Combiner, ShortInputsAreZeroFilledAndEveryRegionSumsToZero) {
  const std::string output = dir_.File("out.bin");
  ASSERT_EQ(CombineTableFile(Inputs("\x01\x02\x03", Pattern(100, 5), "\xFF"), output).error,
            CombineError::kNone);
  const std::string image = TempDir::Read(output);
  ASSERT_EQ(image.size(), kTableFileSize);
  EXPECT_EQ(image.substr(0, 3), "\x01\x02\x03");
  EXPECT_EQ(image.substr(0x800, 100), Pattern(100, 5));
  EXPECT_EQ(static_cast<unsigned char>(image[0x20800]), 0xFFu);
  for (const TableRegion& region : {kCvdRegion, kHeatingRegion, kColourRegion}) {
    EXPECT_EQ(RegionSum(image, region), 0u) << region.name;
  }
  // Beyond each input only the region's checksum byte is non-zero.
  EXPECT_EQ(image.substr(3, 0x7FF - 3), std::string(0x7FF - 3, '\0'));
  EXPECT_EQ(static_cast<unsigned char>(image[0x7FF]), 0xFAu);  // -(1+2+3)
  EXPECT_EQ(image.substr(0x20801, 0x3FFE), std::string(0x3FFE, '\0'));
  EXPECT_EQ(static_cast<unsigned char>(image[0x247FF]), 0x01u);
}

TEST_F(Combiner, ExactSizeInputsAreTheirConcatenationButForChecksumsAndCarryTheVersion) {
  std::string colour = Pattern(kColourRegion.length, 9);
  colour.replace(0x3FF8, 7, "V1.23A\0", 7);
  const TableInputs inputs =
      Inputs(Pattern(kCvdRegion.length, 1), Pattern(kHeatingRegion.length, 2), colour);
  const std::string output = dir_.File("out.bin");
  ASSERT_EQ(CombineTableFile(inputs, output).error, CombineError::kNone);

  std::string expected = Pattern(kCvdRegion.length, 1) + Pattern(kHeatingRegion.length, 2) + colour;
  std::string image = TempDir::Read(output);
  ASSERT_EQ(image.size(), expected.size());
  for (const TableRegion& region : {kCvdRegion, kHeatingRegion, kColourRegion}) {
    EXPECT_EQ(RegionSum(image, region), 0u) << region.name;
  }
  for (std::size_t checksum : {0x7FFu, 0x207FFu, 0x247FFu}) {
    image[checksum] = expected[checksum] = 0;
  }
  EXPECT_EQ(image, expected);
  EXPECT_EQ(ReadTableVersion(output, 1), "V1.23A");
  EXPECT_EQ(ReadTableVersion(output, 22), std::string(1, colour[0x3FF7]) + "V1.23A");
}

TEST_F(Combiner, TooLongInputIsRefusedAndNothingIsWritten) {
  const std::string output = dir_.Write("out.bin", "previous");
  const CombineResult result = CombineTableFile(
      Inputs(Pattern(kCvdRegion.length, 1), Pattern(kHeatingRegion.length + 1, 2), "c"), output);
  EXPECT_EQ(result.error, CombineError::kInputTooLong);
  EXPECT_EQ(result.region, &kHeatingRegion);
  EXPECT_EQ(TempDir::Read(output), "previous");
  EXPECT_EQ(
      CombineTableFile(Inputs("a", "b", Pattern(kColourRegion.length + 1, 3)), dir_.File("new.bin"))
          .error,
      CombineError::kInputTooLong);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("new.bin")));

  // A terabyte heating table (sparse) is refused by its size, never read into memory.
  const std::string huge = dir_.File("huge.bin");
  std::filesystem::resize_file(dir_.Write("huge.bin", ""), std::uintmax_t{1} << 40);
  TableInputs hugeInputs = Inputs("a", "b", "c");
  hugeInputs.heating = huge;
  const CombineResult refused = CombineTableFile(hugeInputs, output);
  EXPECT_EQ(refused.error, CombineError::kInputTooLong);
  EXPECT_EQ(refused.path, huge);
  EXPECT_EQ(TempDir::Read(output), "previous");
}

TEST_F(Combiner, OutputThatCannotBeWrittenIsAFailure) {
  const std::string output = dir_.File("missing-folder/out.bin");
  const CombineResult result = CombineTableFile(Inputs("a", "b", "c"), output);
  EXPECT_EQ(result.error, CombineError::kCannotWriteOutput);
  EXPECT_EQ(result.path, output);
}

TEST_F(Combiner, MissingInputLeavesNoOutputAndKeepsAnInputNamedAsOutput) {
  TableInputs inputs = Inputs("cvd", "heat", "colour");
  inputs.heating = dir_.File("missing.bin");
  const CombineResult result = CombineTableFile(inputs, dir_.File("out.bin"));
  EXPECT_EQ(result.error, CombineError::kCannotOpenInput);
  EXPECT_EQ(result.path, inputs.heating);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("out.bin")));

  // The output names the CVD input; the colour table is missing: the CVD stays intact.
  inputs = Inputs("cvd", "heat", "colour");
  inputs.colour = dir_.File("gone.dat");
  EXPECT_EQ(CombineTableFile(inputs, inputs.cvd).error, CombineError::kCannotOpenInput);
  EXPECT_EQ(TempDir::Read(inputs.cvd), "cvd");

  // With every input present, the output may replace one of them.
  inputs = Inputs("cvd", "heat", "colour");
  ASSERT_EQ(CombineTableFile(inputs, inputs.heating).error, CombineError::kNone);
  EXPECT_EQ(TempDir::Read(inputs.heating).substr(0x800, 4), "heat");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()),
            3)
      << "no temporary file is left behind";
}

TEST(TableVersion, ShortAndUnreadableFilesHaveNoVersion) {
  TempDir dir;
  EXPECT_EQ(ReadTableVersion(dir.Write("seven.bin", "1234567"), 1), "");
  EXPECT_EQ(ReadTableVersion(dir.Write("eight.bin", "ABCDEFGH"), 1), "ABCDEFG");
  EXPECT_EQ(ReadTableVersion(dir.File("eight.bin"), 22), "") << "needs 9 bytes for model 22";
  EXPECT_EQ(ReadTableVersion(dir.Write("zero.bin", std::string("xAB\0CDEFx", 9)), 1), "AB");
  EXPECT_EQ(ReadTableVersion(dir.File("absent.bin"), 1), "");
  EXPECT_EQ(ReadTableVersion(dir.path().string(), 1), "");
}

TEST(MakeBinProgram, ReportsFailureOnStandardErrorWithNonZeroStatus) {
  TempDir dir;
  const std::string cvd = dir.Write("a.dat", "a");
  const std::string base = std::string(KILN_MAKEBIN) + " " + cvd + " " + cvd + " ";
  const std::string err = dir.File("err.txt");
  int status =
      std::system((base + dir.File("none.dat") + " " + dir.File("o.bin") + " 2>" + err).c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(TempDir::Read(err).find("none.dat"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.File("o.bin")));
  // A name that holds an escape sequence is shown, not obeyed.
  status = std::system((base + "'" + dir.File("x\x1b[2J.dat") + "' o.bin 2>" + err).c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(TempDir::Read(err).find("x?[2J.dat"), std::string::npos) << TempDir::Read(err);

  status = std::system((base + cvd + " " + dir.File("o.bin") + " >/dev/null").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(std::filesystem::file_size(dir.File("o.bin")), kTableFileSize);
  EXPECT_EQ(WEXITSTATUS(std::system((std::string(KILN_MAKEBIN) + " a b 2>/dev/null").c_str())), 2);

  // A terabyte input: refused with the region's size, not a crash.
  std::filesystem::resize_file(dir.Write("huge.bin", ""), std::uintmax_t{1} << 40);
  status =
      std::system((base + dir.File("huge.bin") + " " + dir.File("big.bin") + " 2>" + err).c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(TempDir::Read(err).find("is longer than the colour table region (16384 bytes)"),
            std::string::npos)
      << TempDir::Read(err);
}

// The demo folder's tables are Make BIN tables: every region sealed, a version text
// where the Setting dialog reads it for the demo's M07.
TEST(DemoFolder, TablesCarryVersionTextsAndSealedRegions) {
  TempDir dir;
  ASSERT_EQ(std::system((std::string(KILN_DEMO_FOLDER) + " " + dir.File("demo")).c_str()), 0);
  for (const auto& [name, version] :
       {std::pair{"colour_standard.bin", "STD 1.1"}, std::pair{"colour_vivid.bin", "VIV 1.1"}}) {
    const std::string path = dir.File("demo/" + std::string(name));
    EXPECT_EQ(ReadTableVersion(path, 7), version);
    const std::string image = TempDir::Read(path);
    ASSERT_EQ(image.size(), kTableFileSize);
    for (const TableRegion& region : {kCvdRegion, kHeatingRegion, kColourRegion}) {
      EXPECT_EQ(RegionSum(image, region), 0u) << name << " " << region.name;
    }
  }
}

}  // namespace
}  // namespace kiln::tools
