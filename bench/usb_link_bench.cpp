// Throughput of CUsbLink::WriteData against a plain write() loop: 8 MiB into a
// raw-mode pseudo-terminal standing in for a printer node, drained by a reader thread.
// Prints the ratio of the two rates; the link is expected to keep at least 0.97.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <thread>
#include <vector>

#include "platform/lp_pipe.h"
#include "support/fake_clock.h"
#include "support/pty_pair.h"
#include "usb/device_enumerator.h"
#include "usb/usb_link.h"

namespace {

using kiln::testing::PtyPair;

constexpr uint32_t kPayload = 8u << 20;

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

void BM_PlainWriteLoop(benchmark::State& state) {
  PtyPair pty;
  const int fd = ::open(pty.node().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (!pty.ok() || fd < 0) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  const std::vector<uint8_t>& data = Payload();
  for (auto _ : state) {
    std::thread reader = Drain(pty.master(), kPayload);
    const uint8_t* next = data.data();
    size_t left = data.size();
    while (left > 0) {
      const ssize_t n = ::write(fd, next, left);
      if (n <= 0) break;
      next += n;
      left -= static_cast<size_t>(n);
    }
    reader.join();
  }
  ::close(fd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPayload);
}

void BM_LinkWriteData(benchmark::State& state) {
  PtyPair pty;
  if (!pty.ok()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  kiln::testing::FakeClock clock;
  OnePrinter devices(pty.node());
  kiln::usb::CUsbLink link(kiln::usb::LinkServices{
      &kiln::platform::SystemProbes(), &kiln::platform::SystemPipeOpener(), &devices, &clock});
  if (link.OpenIOChannel(7, 1) != kiln::usb::kOpenOk) {
    state.SkipWithError("the link did not open the pseudo-terminal");
    return;
  }
  const std::vector<uint8_t>& data = Payload();
  for (auto _ : state) {
    std::thread reader = Drain(pty.master(), kPayload);
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

// The machine is shared: medians of several repetitions keep one disturbed run from
// deciding the ratio.
BENCHMARK(BM_PlainWriteLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_LinkWriteData)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

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
  void PrintRatio() const {
    const auto plain = rates_.find("BM_PlainWriteLoop");
    const auto link = rates_.find("BM_LinkWriteData");
    if (plain == rates_.end() || link == rates_.end() || plain->second <= 0) return;
    std::printf("link/plain throughput ratio: %.3f (%.1f MiB/s vs %.1f MiB/s)\n",
                link->second / plain->second, link->second / (1 << 20), plain->second / (1 << 20));
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio();
  benchmark::Shutdown();
  return 0;
}
