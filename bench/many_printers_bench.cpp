// What each added printer costs: whole updates of 1, 2, 4 and 8 printers of one model on
// the umockdev test bed, at a hundredth of the real pauses. Prints the wall time per
// printer and the bytes the host wrote to the printers; fails when a printer is left
// without the new firmware or was sent it twice.
//   kiln_bench_many_printers [--max N]     (N: largest printer count, default 8)
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config/firmware_package.h"
#include "config/update_context.h"
#include "platform/clock.h"
#include "protocol/firmware_download.h"
#include "sim/testbed/test_bed.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"
#include "support/umockdev_reexec.h"

namespace {

using kiln::testing::TempDir;

constexpr uint32_t kModel = 7;
constexpr std::size_t kImageSize = 0x30000;

struct Figures {
  double seconds = 0;
  uint64_t wireBytes = 0;
  bool allUpdated = false;
};

// Bytes of one packet as the host wrote it: start byte, length, flag, code, parameters,
// payload and padding.
uint64_t WireBytes(const kiln::sim::PacketRecord& packet) {
  return 6 + packet.parameters.size() + packet.payloadLength + packet.paddingBytes;
}

bool UpdatePrinters(std::size_t count, const std::string& package, Figures& figures) {
  std::vector<kiln::sim::VirtualPrinterConfig> printers(count);
  for (std::size_t i = 0; i < count; ++i) {
    printers[i].model = kModel;
    printers[i].serialNumber = "P" + std::to_string(i);
    printers[i].version = "1.00";
  }
  std::string error;
  auto bed = kiln::sim::TestBed::Create(printers, kiln::platform::SystemClock(), &error);
  if (!bed) {
    std::fprintf(stderr, "no test bed: %s\n", error.c_str());
    return false;
  }
  kiln::UpdateContext context;
  context.targetModel = kModel;
  context.connectedModel = kModel;
  kiln::protocol::FlashRequest request;
  request.openModel = kModel;
  request.reopenModel = kModel;
  request.image = kiln::config::LoadFile(package);
  request.waitSeconds = 8;
  request.waitForRestart = true;

  const auto start = std::chrono::steady_clock::now();
  kiln::protocol::FirmwareDownload download(context);
  const bool ok = download.FlashFirmware(request);
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  figures.allUpdated = ok;
  if (!ok) {
    std::fprintf(stderr, "%zu printers: the update failed: %s\n", count,
                 context.resultText.c_str());
  }
  for (std::size_t i = 0; i < count; ++i) {
    kiln::sim::VirtualPrinter& printer = bed->Printer(i);
    const std::size_t images = printer.Images().size();
    if (printer.Version() != "2.00" || images != 1) {
      figures.allUpdated = false;
      std::fprintf(stderr, "%zu printers: printer %zu has version %s after %zu images\n", count, i,
                   printer.Version().c_str(), images);
    }
    for (const auto& packet : printer.Transcript()) figures.wireBytes += WireBytes(packet);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!kiln::testing::RunUnderUmockdev(argv)) return 127;
  std::size_t most = 8;
  if (argc == 3 && std::strcmp(argv[1], "--max") == 0) most = std::strtoul(argv[2], nullptr, 10);
  // Pauses of the updater and the printers at a hundredth of their length.
  ::setenv("KILN_TIME_SCALE", "0.01", 0);
  TempDir locks;
  ::setenv("KILN_LOCK_DIR", locks.path().c_str(), 1);
  TempDir dir;
  const std::string package = dir.Write(
      "fw.bin", kiln::testing::MakePackage(kImageSize, kiln::config::kHeaderOffsetMain,
                                           kiln::sim::ProductIdOfModel(kModel), 3, 3, "2.00"));

  std::printf("%-9s %10s %12s %14s %16s\n", "printers", "total s", "s/printer", "wire bytes",
              "bytes/printer");
  bool allUpdated = true;
  for (std::size_t count = 1; count <= most; count *= 2) {
    Figures figures;
    if (!UpdatePrinters(count, package, figures)) return 2;
    std::printf("%-9zu %10.3f %12.3f %14llu %16llu%s\n", count, figures.seconds,
                figures.seconds / static_cast<double>(count),
                static_cast<unsigned long long>(figures.wireBytes),
                static_cast<unsigned long long>(figures.wireBytes / count),
                figures.allUpdated ? "" : "   NOT ALL UPDATED");
    allUpdated = allUpdated && figures.allUpdated;
  }
  return allUpdated ? 0 : 1;
}
