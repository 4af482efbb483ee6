// Throughput of the link over libusb against a plain loop of libusb bulk transfers of the
// same size, in pairs on one virtual printer shown over usbfs on the test bed (the sides
// alternate, so a change in the machine's load hits both alike). Each side sends the same
// 4 MiB in 256 KiB transfers, the size of the link's chunks; the link opens its device
// before its side starts and closes it after, and the plain loop claims the interface
// only while the link does not.
//
// Printed: the median of the per-pair throughput ratios (link / plain), each side's
// throughput, and heap allocations per 256 KiB transfer on each side. The test bed's own
// threads allocate too, the same for both sides, so the difference is the link's own.
//
//   kiln_bench_libusb_link [--benchmark_min_time=...]

#include <benchmark/benchmark.h>
#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/os_probes.h"
#include "platform/printer_pipes.h"
#include "sim/testbed/test_bed.h"
#include "support/allocation_counter.h"
#include "support/fake_clock.h"
#include "support/printer_builder.h"
#include "support/temp_dir.h"
#include "support/umockdev_reexec.h"
#include "usb/printer_node_source.h"
#include "usb/usb_link.h"

namespace {

constexpr uint32_t kPayload = 4u << 20;
constexpr uint32_t kChunk = 256u << 10;
constexpr unsigned kTimeoutMs = 10000;
constexpr uint32_t kModel = 7;

using Clock = std::chrono::steady_clock;

struct Side {
  double seconds = 0;
  uint64_t allocations = 0;
  bool ok = false;
};

// The plain loop: a handle of its own, the interface claimed, synchronous bulk OUTs.
Side PlainSide(const std::vector<uint8_t>& payload) {
  Side side;
  libusb_context* context = nullptr;
  if (libusb_init(&context) != 0) return side;
  libusb_device_handle* handle = nullptr;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context, &list);
  if (count > 0 && libusb_open(list[0], &handle) != 0) handle = nullptr;
  if (list != nullptr) libusb_free_device_list(list, 1);
  if (handle != nullptr && libusb_claim_interface(handle, 0) == 0) {
    std::vector<uint8_t> buffer = payload;
    const uint64_t before = kiln::bench::AllocationCount();
    const auto start = Clock::now();
    side.ok = true;
    for (uint32_t at = 0; at < kPayload && side.ok; at += kChunk) {
      int done = 0;
      side.ok =
          libusb_bulk_transfer(handle, 0x01, buffer.data() + at, kChunk, &done, kTimeoutMs) == 0 &&
          done == static_cast<int>(kChunk);
    }
    side.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    side.allocations = kiln::bench::AllocationCount() - before;
    libusb_release_interface(handle, 0);
  }
  if (handle != nullptr) libusb_close(handle);
  libusb_exit(context);
  return side;
}

Side LinkSide(const std::vector<uint8_t>& payload, kiln::testing::FakeClock& clock) {
  Side side;
  kiln::usb::CUsbLink link(kiln::usb::LinkServices{&kiln::platform::SystemProbes(),
                                                   &kiln::platform::SystemPrinterPipes(),
                                                   &kiln::usb::SystemPrinterNodes(), &clock});
  if (link.OpenIOChannel(kModel, 1) != kiln::usb::kOpenOk) return side;
  link.SetTimeOuts(kTimeoutMs, kTimeoutMs);
  uint32_t written = 0;
  const uint64_t before = kiln::bench::AllocationCount();
  const auto start = Clock::now();
  const kiln::usb::ResultCode result = link.WriteData(payload.data(), kPayload, &written);
  side.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  side.allocations = kiln::bench::AllocationCount() - before;
  side.ok = result == kiln::usb::ResultCode::kWritten && written == kPayload;
  link.CloseIOChannel();
  return side;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

void BM_LinkAgainstPlainLibusb(benchmark::State& state) {
  kiln::testing::TempDir locks;
  ::setenv("KILN_LOCK_DIR", locks.path().c_str(), 1);
  std::string error;
  auto bed = kiln::sim::TestBed::Create(
      {kiln::testing::PrinterBuilder(kModel).Transport(kiln::sim::UsbTransport::kUsbfs)},
      kiln::platform::SystemClock(), &error);
  if (!bed) {
    state.SkipWithError(error.c_str());
    return;
  }
  kiln::testing::FakeClock clock;
  // Zero bytes: packets the printer reads and does not answer.
  const std::vector<uint8_t> payload(kPayload, 0);
  std::vector<double> ratios;
  double plainSeconds = 0, linkSeconds = 0;
  uint64_t plainAllocations = 0, linkAllocations = 0;
  for (auto _ : state) {
    const Side plain = PlainSide(payload);
    const Side ours = LinkSide(payload, clock);
    if (!plain.ok || !ours.ok) {
      state.SkipWithError(plain.ok ? "the link's side failed" : "the plain side failed");
      return;
    }
    ratios.push_back(plain.seconds / ours.seconds);
    plainSeconds += plain.seconds;
    linkSeconds += ours.seconds;
    plainAllocations += plain.allocations;
    linkAllocations += ours.allocations;
  }
  const auto transfers = static_cast<double>(ratios.size()) * (kPayload / kChunk);
  const double mib = static_cast<double>(ratios.size()) * kPayload / (1 << 20);
  state.counters["ratio_link_to_plain"] = Median(ratios);
  state.counters["plain_MiB_per_s"] = mib / plainSeconds;
  state.counters["link_MiB_per_s"] = mib / linkSeconds;
  state.counters["plain_allocs_per_transfer"] = static_cast<double>(plainAllocations) / transfers;
  state.counters["link_allocs_per_transfer"] = static_cast<double>(linkAllocations) / transfers;
  ::unsetenv("KILN_LOCK_DIR");
}
BENCHMARK(BM_LinkAgainstPlainLibusb)->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!kiln::testing::RunUnderUmockdev(argv)) return 127;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
