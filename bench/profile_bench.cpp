// Looking up values in a Kiln.ini of about 4 KB, the size of a full configuration with
// its language sections. Every lookup reads the file anew, as the program does.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/profile.h"
#include "support/temp_dir.h"

namespace {

std::string MakeIni() {
  std::string text = "[FW_INFO1]\r\nFile=fw.bin\r\nModel=M07\r\nWriteType=0\r\nActInfo=1\r\n";
  for (int i = 1; i <= 40; ++i) {
    text += "TableFile" + std::to_string(i) + "=table" + std::to_string(i) + ".bin,Colour " +
            std::to_string(i) + "\r\n";
  }
  for (const char* language :
       {"eng", "cht", "chs", "frn", "ger", "ita", "spn", "jpn", "krn", "prt", "rus", "pol"}) {
    text += std::string("[") + language + "]\r\n";
    for (int i = 0; i < 8; ++i) text += "Key" + std::to_string(i) + "=Some translated text\r\n";
  }
  text += "[FW_INFO2]\r\nFile=second.bin\r\nModel=M09\r\n";
  return text;
}

void BM_SectionLookupIn4KbIni(benchmark::State& state) {
  kiln::testing::TempDir dir;
  const std::string text = MakeIni();
  const std::string path = dir.Write("Kiln.ini", text);
  char value[512];
  for (auto _ : state) {
    const uint32_t n = kiln::platform::GetPrivateProfileStringA("FW_INFO2", "Model", "", value,
                                                                sizeof value, path.c_str());
    benchmark::DoNotOptimize(n);
  }
  state.counters["file_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_SectionLookupIn4KbIni);

}  // namespace

BENCHMARK_MAIN();
