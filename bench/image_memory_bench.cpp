// Peak resident memory of one whole download (FlashFirmware to one printer, a colour table
// merged, the printer's device data block kept) with a small and a large package. Each case runs
// in a forked child, so that one case's pages never hide another's peak; the child reports
// its VmHWM.
//
// The printer is the in-process virtual printer, but the firmware data packets are taken
// off the pipe before they reach it (counted, not kept): the printer would otherwise hold
// its own copies of the image, and those are not the updater's memory.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "config/firmware_package.h"
#include "platform/os_probes.h"
#include "platform/pipe_file.h"
#include "protocol/command_codes.h"
#include "protocol/firmware_download.h"
#include "sim/in_process_pipe.h"
#include "sim/virtual_printer.h"
#include "support/fake_clock.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"
#include "usb/printer_node_source.h"

namespace {

constexpr uint32_t kModel = 13;  // keeps its printer's device data block
constexpr const char* kNode = "/dev/usb/lp0";

// Forwards every write but a firmware data packet (unanswered, one write each), which it
// counts as written.
class DataDroppingPipe final : public kiln::platform::PipeFile {
 public:
  DataDroppingPipe(std::unique_ptr<kiln::platform::PipeFile> pipe, uint64_t& dropped)
      : pipe_(std::move(pipe)), dropped_(dropped) {}
  kiln::platform::PipeResult Write(const uint8_t* data, uint32_t len, uint32_t timeoutMs) override {
    if (len >= 6 && (data[4] << 8 | data[5]) == kiln::protocol::cmd::kFirmwareData) {
      dropped_ += len;
      return {kiln::platform::PipeStatus::kDone, len, 0};
    }
    return pipe_->Write(data, len, timeoutMs);
  }
  kiln::platform::PipeResult Read(uint8_t* data, uint32_t len, uint32_t timeoutMs) override {
    return pipe_->Read(data, len, timeoutMs);
  }
  void Cancel() override { pipe_->Cancel(); }

 private:
  std::unique_ptr<kiln::platform::PipeFile> pipe_;
  uint64_t& dropped_;
};

class Bed final : public kiln::platform::PipeOpener, public kiln::usb::PrinterNodeSource {
 public:
  explicit Bed(kiln::sim::VirtualPrinterConfig config) : printer_(std::move(config), clock_) {
    opener_.Attach(kNode, printer_);
  }
  std::unique_ptr<kiln::platform::PipeFile> Open(const char* path) override {
    auto pipe = opener_.Open(path);
    if (pipe == nullptr) return nullptr;
    return std::make_unique<DataDroppingPipe>(std::move(pipe), dropped_);
  }
  std::vector<kiln::platform::UsbPrinterNode> PrinterNodes() override {
    if (!printer_.OnUsb()) return {};
    kiln::platform::UsbPrinterNode node;
    node.node = kNode;
    node.vendorId = 0x2E5A;
    node.productId = printer_.ProductId();
    node.serial = printer_.Config().serialNumber;
    node.portPath = "1-1";
    node.present = true;
    return {node};
  }
  kiln::usb::LinkFactory Links() {
    return [this] {
      return std::make_unique<kiln::usb::CUsbLink>(
          kiln::usb::LinkServices{&kiln::platform::SystemProbes(), this, this, &clock_});
    };
  }
  uint64_t dropped() const { return dropped_; }

 private:
  kiln::testing::FakeClock clock_;
  kiln::sim::VirtualPrinter printer_;
  kiln::sim::InProcessPipeOpener opener_;
  uint64_t dropped_ = 0;
};

long PeakResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs body in a forked child and returns the numbers it wrote, or none when it failed.
template <typename Body>
std::vector<long> InChild(Body body, std::size_t count) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    const std::vector<long> figures = body();
    const auto size = static_cast<ssize_t>(figures.size() * sizeof(long));
    const bool written = ::write(fds[1], figures.data(), static_cast<size_t>(size)) == size;
    ::_exit(written ? 0 : 1);
  }
  ::close(fds[1]);
  std::vector<long> figures(count);
  const auto size = static_cast<ssize_t>(count * sizeof(long));
  const bool read = child > 0 && ::read(fds[0], figures.data(), static_cast<size_t>(size)) == size;
  ::close(fds[0]);
  int status = 0;
  if (child > 0) ::waitpid(child, &status, 0);
  if (!read || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  return figures;
}

void BM_DownloadPeakMemory(benchmark::State& state) {
  const auto imageBytes = static_cast<std::size_t>(state.range(0)) << 10;
  kiln::testing::TempDir dir;
  const std::string image = dir.File("fw.bin");
  const std::string table = dir.File("colour.bin");
  // The package is written by a child of its own: its text never adds to a measured peak.
  const bool files =
      !InChild(
           [&] {
             WriteFile(image, kiln::testing::MakePackage(
                                  imageBytes, kiln::config::kHeaderOffsetMain,
                                  kiln::sim::ProductIdOfModel(kModel), 1, 1, "2.00"));
             WriteFile(table, std::string(0x30000, '\x33'));
             return std::vector<long>{0};
           },
           1)
           .empty();
  if (!files) {
    state.SkipWithError("the package could not be written");
    return;
  }
  std::vector<long> figures;
  for (auto _ : state) {
    figures = InChild(
        [&] {
          kiln::sim::VirtualPrinterConfig config;
          config.model = kModel;
          config.serialNumber = "MEM1";
          config.deviceBlock = kiln::sim::MakeDeviceBlock(0x200);
          Bed bed(std::move(config));
          kiln::protocol::FlashRequest request;
          request.openModel = request.reopenModel = request.targetModel = request.connectedModel =
              kModel;
          request.image = kiln::config::LoadFile(image);
          request.colourTable = kiln::config::LoadFile(table);
          request.waitSeconds = 1;
          request.waitForRestart = true;
          request.facts = kiln::protocol::ModelFactsFor(request);
          const kiln::protocol::FlashResult result =
              kiln::protocol::FirmwareDownload(bed.Links(), {}).FlashFirmware(request, nullptr);
          return std::vector<long>{result.flashed ? 1L : 0L, PeakResidentKb(),
                                   static_cast<long>(bed.dropped())};
        },
        3);
  }
  if (figures.empty() || figures[0] != 1) {
    state.SkipWithError("the download failed");
    return;
  }
  state.counters["image_MiB"] = static_cast<double>(imageBytes) / (1 << 20);
  state.counters["peak_rss_MiB"] = static_cast<double>(figures[1]) / 1024;
  state.counters["data_sent_MiB"] = static_cast<double>(figures[2]) / (1 << 20);
}
BENCHMARK(BM_DownloadPeakMemory)
    ->Arg(512)
    ->Arg(48 << 10)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
