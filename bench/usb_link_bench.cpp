// Throughput of CUsbLink::WriteData against a plain write() loop: 8 MiB into a
// raw-mode pseudo-terminal standing in for a printer node, drained by a reader thread;
// and of a 4 MiB firmware image sent as data packets through the protocol and the link
// against a plain loop writing the same bytes. Prints the ratios of the rates; the
// updater's paths are expected to keep at least 0.97 of the plain loop.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <thread>
#include <vector>

#include "platform/lp_pipe.h"
#include "protocol/data_transfer.h"
#include "protocol/prn_cmd.h"
#include "support/fake_clock.h"
#include "support/pty_pair.h"
#include "usb/device_enumerator.h"
#include "usb/usb_link.h"

namespace {

using kiln::testing::PtyPair;

constexpr uint32_t kPayload = 8u << 20;
constexpr uint32_t kImage = 4u << 20;

// Bytes on the wire for an image sent as padded data packets.
uint32_t ImageWireBytes(uint32_t image) {
  const uint32_t piece = kiln::protocol::kDataPieceSize;
  const uint32_t full = image / piece;
  const uint32_t rest = image % piece;
  const uint32_t packet = (6 + piece + 63) / 64 * 64;
  return full * packet + (rest == 0 ? 0 : (6 + rest + 63) / 64 * 64);
}

// The one printer of the benchmark, at the PTY's node.
class OnePrinter final : public kiln::usb::DeviceEnumerator {
 public:
  explicit OnePrinter(std::string node) : node_(std::move(node)) {}
  std::vector<kiln::usb::DeviceInterface> ClassDevices(const kiln::usb::Guid&, uint32_t) override {
    kiln::usb::DeviceInterface printer;
    printer.active = true;
    printer.instanceId = "USB\\VID_2E5A&PID_0002\\BENCH";
    printer.devicePath = node_;
    return {printer};
  }

 private:
  std::string node_;
};

// Reads exactly `count` bytes from the printer's end.
std::thread Drain(int master, uint32_t count) {
  return std::thread([master, count] {
    std::vector<uint8_t> buffer(1 << 16);
    uint32_t got = 0;
    while (got < count) {
      const ssize_t n = ::read(master, buffer.data(), buffer.size());
      if (n <= 0) break;
      got += static_cast<uint32_t>(n);
    }
  });
}

const std::vector<uint8_t>& Payload() {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> bytes(kPayload);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31);
    return bytes;
  }();
  return data;
}

// A plain write() loop of `count` bytes (`wire` bytes drained at the other end).
void PlainWriteLoop(benchmark::State& state, uint32_t count) {
  PtyPair pty;
  const int fd = ::open(pty.node().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (!pty.ok() || fd < 0) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  const std::vector<uint8_t>& data = Payload();
  for (auto _ : state) {
    std::thread reader = Drain(pty.master(), count);
    const uint8_t* next = data.data();
    size_t left = count;
    while (left > 0) {
      const ssize_t n = ::write(fd, next, left);
      if (n <= 0) break;
      next += n;
      left -= static_cast<size_t>(n);
    }
    reader.join();
  }
  ::close(fd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * count);
}

void BM_PlainWriteLoop(benchmark::State& state) { PlainWriteLoop(state, kPayload); }
// The same bytes a 4 MiB image puts on the wire as data packets.
void BM_PlainWriteLoopImage(benchmark::State& state) {
  PlainWriteLoop(state, ImageWireBytes(kImage));
}

// A link opened on a pseudo-terminal that stands in for the printer's node.
class LinkOnPty {
 public:
  LinkOnPty()
      : devices_(pty_.node()),
        link_(kiln::usb::LinkServices{&kiln::platform::SystemProbes(),
                                      &kiln::platform::SystemPipeOpener(), &devices_, &clock_}) {}
  // False (with the benchmark marked as skipped) when the link cannot be set up.
  bool Open(benchmark::State& state) {
    if (!pty_.ok()) {
      state.SkipWithError("no pseudo-terminal");
      return false;
    }
    if (link_.OpenIOChannel(7, 1) != kiln::usb::kOpenOk) {
      state.SkipWithError("the link did not open the pseudo-terminal");
      return false;
    }
    return true;
  }
  int master() const { return pty_.master(); }
  kiln::usb::CUsbLink& link() { return link_; }

 private:
  PtyPair pty_;
  kiln::testing::FakeClock clock_;
  OnePrinter devices_;
  kiln::usb::CUsbLink link_;
};

void BM_LinkWriteData(benchmark::State& state) {
  LinkOnPty bed;
  if (!bed.Open(state)) return;
  kiln::usb::CUsbLink& link = bed.link();
  const std::vector<uint8_t>& data = Payload();
  for (auto _ : state) {
    std::thread reader = Drain(bed.master(), kPayload);
    uint32_t written = 0;
    const kiln::usb::ResultCode result = link.WriteData(data.data(), kPayload, &written);
    reader.join();
    if (result != kiln::usb::ResultCode::kWritten || written != kPayload) {
      state.SkipWithError("WriteData failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPayload);
}

// A 4 MiB image as 0x8301 data packets through CPrnCmd and the link.
void BM_ImageDataPackets(benchmark::State& state) {
  LinkOnPty bed;
  if (!bed.Open(state)) return;
  kiln::usb::CUsbLink& link = bed.link();
  auto prn = std::make_unique<kiln::protocol::CPrnCmd>(&link);
  const std::vector<uint8_t>& data = Payload();
  for (auto _ : state) {
    std::thread reader = Drain(bed.master(), ImageWireBytes(kImage));
    const kiln::usb::ResultCode last = kiln::protocol::SendDataInChunks(
        *prn, kiln::protocol::cmd::kFirmwareData, data.data(), kImage,
        kiln::protocol::kDataPieceSize);
    reader.join();
    if (last != kiln::usb::ResultCode::kWritten) {
      state.SkipWithError("a data packet failed");
      break;
    }
  }
  // Wire bytes, so that the rate compares with the plain loop of the same bytes.
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * ImageWireBytes(kImage));
}

// The machine is shared: medians of several repetitions keep one disturbed run from
// deciding the ratio.
BENCHMARK(BM_PlainWriteLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_LinkWriteData)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_PlainWriteLoopImage)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_ImageDataPackets)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

// Remembers the (median) rate of each benchmark so that the ratio can be printed at the end.
class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal.
  RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      // The median when repetitions ran, else the single run.
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (!median && !(run.run_type == Run::RT_Iteration && run.repetitions <= 1)) continue;
      const auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) rates_[run.run_name.function_name] = rate->second.value;
    }
  }
  void PrintRatios() const {
    PrintRatio("link/plain", "BM_LinkWriteData", "BM_PlainWriteLoop");
    PrintRatio("image packets/plain", "BM_ImageDataPackets", "BM_PlainWriteLoopImage");
  }

 private:
  void PrintRatio(const char* label, const char* measured, const char* reference) const {
    const auto plain = rates_.find(reference);
    const auto ours = rates_.find(measured);
    if (plain == rates_.end() || ours == rates_.end() || plain->second <= 0) return;
    std::printf("%s throughput ratio: %.3f (%.1f MiB/s vs %.1f MiB/s)\n", label,
                ours->second / plain->second, ours->second / (1 << 20), plain->second / (1 << 20));
  }

  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
