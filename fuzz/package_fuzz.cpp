// The firmware package loader and its identification header, for the firmware and the
// CPU package, on fuzzed files of fuzzed sizes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/firmware_package.h"
#include "config/package.h"
#include "support/fuzz_input.h"
#include "support/scratch_dir.h"

namespace {

using kiln::fuzz::FuzzInput;
namespace config = kiln::config;

// A package's bytes: the fuzzed ones, optionally moved to one of the header offsets so
// that short inputs reach a header.
std::string PackageBytes(FuzzInput& in, uint8_t placement) {
  std::string bytes;
  if (placement == 1) bytes.assign(config::kHeaderOffsetCpu, '\0');
  if (placement == 2) bytes.assign(config::kHeaderOffsetMain, '\0');
  bytes += in.Bytes(in.U16() % 0x2000);
  return bytes;
}

void CheckHeaderLookups(const std::string& bytes, uint8_t writeType) {
  const auto* image = reinterpret_cast<const uint8_t*>(bytes.data());
  const auto size = static_cast<uint32_t>(bytes.size());
  for (const auto offset : {config::LocatePackageHeader(image, size, writeType),
                            config::LocateCpuPackageHeader(image, size)}) {
    if (!offset) continue;
    if (*offset + config::kHeaderLength > size) std::abort();
    const config::PackageHeader header = config::DecodePackageHeader(image, *offset);
    if (header.version.size() > 4) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint8_t flags = in.Byte();
  config::ModelEntry entry;
  entry.writeType = static_cast<uint8_t>(flags & 0x03);
  entry.cpuFirst = (flags & 0x04) != 0;
  entry.noCheckPid = (flags & 0x08) != 0;
  entry.modelName = in.Text();

  const std::string firmware = PackageBytes(in, static_cast<uint8_t>(flags >> 4 & 0x03));
  const std::string cpu = PackageBytes(in, static_cast<uint8_t>(flags >> 6 & 0x03));
  entry.firmware = kiln::fuzz::WriteScratchFile("firmware.bin", firmware).c_str();
  entry.cpuFirmware = kiln::fuzz::WriteScratchFile("cpu.bin", cpu).c_str();

  (void)config::ReadPackageHeaders(entry);
  CheckHeaderLookups(firmware, entry.writeType);

  // Loading into a buffer that is already larger keeps its size and fills the front.
  config::FirmwarePackage package;
  package.image.assign(firmware.size() + (flags & 0x0F), 0xEE);
  uint32_t loaded = 0;
  if (!config::LoadPackageFile(entry.firmware.c_str(), &package, loaded) ||
      loaded != firmware.size() || package.size != firmware.size() ||
      package.image.size() != firmware.size() + (flags & 0x0F)) {
    std::abort();
  }
  return 0;
}
