// kiln-demo-folder DIR: fills DIR with what Kiln needs to update an M07 printer: a
// Kiln.ini, a firmware package of version 1.10 with its identification header, and two
// colour tables (versions "STD 1.1" and "VIV 1.1") for the colour-mode change.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "config/firmware_package.h"
#include "sim/printer_config.h"
#include "support/package_builder.h"
#include "tools/table_file.h"

namespace {

constexpr uint32_t kModel = 7;  // M07
constexpr const char* kPackageVersion = "1.10";
constexpr std::size_t kPackageSize = 0x80000;  // reaches past the colour table's place
constexpr uint16_t kProgrammingSeconds = 3;

constexpr const char* kIniText =
    "[FW_INFO1]\r\n"
    "Model=M07\r\n"
    "File=m07_firmware.bin\r\n"
    "WriteType=0\r\n"
    "ActInfo=1\r\n"
    "Delay1=5\r\n"
    "Delay2=5\r\n"
    "EnableTableSwitch=1\r\n"
    "TableFile1=colour_standard.bin,Standard\r\n"
    "ColorModeDesc1=Natural colours for photographs\r\n"
    "TableFile2=colour_vivid.bin,Vivid\r\n"
    "ColorModeDesc2=Stronger colours for cards and posters\r\n";

bool WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) std::fprintf(stderr, "kiln-demo-folder: cannot write %s\n", path.string().c_str());
  return static_cast<bool>(out);
}

// A table file as the Make BIN tool writes it, each block filled with its own byte so
// that a merged image shows which table it holds, and each block sealed by its checksum
// byte. The table's 7-character version text ends the colour table, just before its
// checksum byte: 8 bytes before the file's end (an M07 table; model 22 keeps it 9 before).
std::string ColourTable(char mark, std::string_view version) {
  using namespace kiln::tools;
  constexpr std::size_t kVersionFromEnd = 8;
  std::string bytes(kTableFileSize, '\0');
  char fill = mark;
  for (const TableRegion& region : {kCvdRegion, kHeatingRegion, kColourRegion}) {
    std::memset(bytes.data() + region.offset, fill++, region.length);
  }
  version.copy(bytes.data() + kTableFileSize - kVersionFromEnd, kTableVersionLength);
  for (const TableRegion& region : {kCvdRegion, kHeatingRegion, kColourRegion}) {
    (void)SealRegion(reinterpret_cast<uint8_t*>(bytes.data() + region.offset), region.length);
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fputs(
        "Usage: kiln-demo-folder DIR\n"
        "Writes Kiln.ini for model M07, a firmware package of version 1.10 and two\n"
        "colour tables into DIR (created when missing).\n",
        argc == 2 ? stdout : stderr);
    return argc == 2 ? 0 : 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "kiln-demo-folder: cannot create %s: %s\n", argv[1],
                 error.message().c_str());
    return 1;
  }
  const std::string package = kiln::testing::MakePackage(
      kPackageSize, kiln::config::kHeaderOffsetMain, kiln::sim::ProductIdOfModel(kModel),
      kProgrammingSeconds, kProgrammingSeconds, kPackageVersion);
  const bool written = WriteFile(folder / "Kiln.ini", kIniText) &&
                       WriteFile(folder / "m07_firmware.bin", package) &&
                       WriteFile(folder / "colour_standard.bin", ColourTable('\x10', "STD 1.1")) &&
                       WriteFile(folder / "colour_vivid.bin", ColourTable('\x40', "VIV 1.1"));
  return written ? 0 : 1;
}
