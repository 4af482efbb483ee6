// The protocol's cost per transaction and per data packet against the in-process
// virtual printer, with the heap allocations the updater's side makes (the printer's own
// bookkeeping is not counted).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "protocol/data_transfer.h"
#include "protocol/prn_cmd.h"
#include "sim/virtual_printer.h"
#include "support/allocation_counter.h"
#include "support/fake_clock.h"

namespace {

using kiln::bench::PauseCounting;

// A channel onto the printer's byte interface; the printer's work is not counted.
class BenchChannel final : public kiln::usb::CommandChannel {
 public:
  explicit BenchChannel(kiln::sim::VirtualPrinter& printer) : printer_(printer) {}
  kiln::usb::ResultCode WriteData(const uint8_t* data, uint32_t count, uint32_t* written) override {
    {
      PauseCounting pause;
      printer_.Receive(data, count);
    }
    *written = count;
    return kiln::usb::ResultCode::kWritten;
  }
  kiln::usb::ResultCode ReadData(uint8_t* data, uint32_t count, uint32_t* read) override {
    PauseCounting pause;
    *read = static_cast<uint32_t>(printer_.TakeAnswer(data, count));
    return *read == count ? kiln::usb::ResultCode::kAnswered : kiln::usb::ResultCode::kReadTimeOut;
  }
  bool WaitIORight() override { return true; }
  bool ReleaseIORight() override { return true; }
  void CancelPipes() override {}
  uint32_t modelSerial() const override { return 7; }
  kiln::log::DebugLog& log() override { return log_; }
  kiln::platform::Clock& clock() override { return clock_; }

 private:
  kiln::sim::VirtualPrinter& printer_;
  kiln::log::DebugLog log_;
  kiln::testing::FakeClock clock_;
};

struct Bench {
  kiln::testing::FakeClock clock;
  kiln::sim::VirtualPrinter printer{kiln::sim::VirtualPrinterConfig{}, clock};
  BenchChannel channel{printer};
  std::unique_ptr<kiln::protocol::CPrnCmd> prn =
      std::make_unique<kiln::protocol::CPrnCmd>(&channel, kiln::protocol::SendMode::kPadded);
};

void BM_DoCommandRoundTrip(benchmark::State& state) {
  Bench bench;
  const uint64_t before = kiln::bench::AllocationCount();
  for (auto _ : state) {
    benchmark::DoNotOptimize(bench.prn->DoCommand(kiln::protocol::cmd::kStatusSummary));
  }
  state.counters["allocs_per_transaction"] =
      static_cast<double>(kiln::bench::AllocationCount() - before) /
      static_cast<double>(state.iterations());
}
BENCHMARK(BM_DoCommandRoundTrip);

void BM_SendImage4MiB(benchmark::State& state) {
  const std::vector<uint8_t> image(4u << 20, 0x3C);
  Bench bench;
  uint64_t allocations = 0;
  uint64_t packets = 0;
  for (auto _ : state) {
    const uint64_t before = kiln::bench::AllocationCount();
    const auto last = kiln::protocol::SendDataInChunks(
        *bench.prn, kiln::protocol::cmd::kFirmwareData, image.data(),
        static_cast<uint32_t>(image.size()), kiln::protocol::kDataPieceSize);
    allocations += kiln::bench::AllocationCount() - before;
    packets += (image.size() + kiln::protocol::kDataPieceSize - 1) / kiln::protocol::kDataPieceSize;
    benchmark::DoNotOptimize(last);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
  state.counters["allocs_per_packet"] =
      static_cast<double>(allocations) / static_cast<double>(packets);
}
BENCHMARK(BM_SendImage4MiB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
