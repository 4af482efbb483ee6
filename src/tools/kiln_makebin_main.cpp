// kiln-makebin: combines a CVD, a heating table and a colour table into one table file,
// the same way the Make BIN dialog does, for scripts and build machines.
#include <cstdio>
#include <cstring>
#include <string>

#include "i18n/terminal_text.h"
#include "tools/table_file.h"

namespace {

constexpr const char* kUsage =
    "Usage: kiln-makebin CVD HEATING COLOUR OUTPUT\n"
    "\n"
    "Combines three table images into one table file of 149504 bytes:\n"
    "  CVD      at offset 0x00000, at most 2048 bytes\n"
    "  HEATING  at offset 0x00800, at most 131072 bytes\n"
    "  COLOUR   at offset 0x20800, at most 16384 bytes\n"
    "Each region is zero-filled to its end and its last byte made the checksum that\n"
    "brings the region's sum to 0 modulo 256. OUTPUT may name one of the inputs; it is\n"
    "replaced only when the whole file has been written.\n"
    "\n"
    "Exit status: 0 when the file was written, 1 when it was not, 2 for wrong usage.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 5) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  using kiln::tools::CombineError;
  const kiln::tools::CombineResult result =
      kiln::tools::CombineTableFile({argv[1], argv[2], argv[3]}, argv[4]);
  // Names are shown as text, never as terminal commands.
  const std::string path = kiln::i18n::TerminalSafe(result.path);
  switch (result.error) {
    case CombineError::kNone:
      std::printf("Combine OK! %s\n", kiln::i18n::TerminalSafe(argv[4]).c_str());
      return 0;
    case CombineError::kCannotOpenInput:
      std::fprintf(stderr, "kiln-makebin: Open File Error!! cannot read %s\n", path.c_str());
      break;
    case CombineError::kInputTooLong:
      std::fprintf(stderr, "kiln-makebin: %s is longer than the %s region (%zu bytes)\n",
                   path.c_str(), result.region->name, result.region->length);
      break;
    case CombineError::kCannotWriteOutput:
      std::fprintf(stderr, "kiln-makebin: Open File Error!! cannot write %s\n", path.c_str());
      break;
  }
  return 1;
}
