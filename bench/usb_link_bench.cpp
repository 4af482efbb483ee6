// Throughput of the updater's send paths against a plain write() loop, measured in pairs:
// CUsbLink::WriteData of 8 MiB, and a 4 MiB firmware image sent as data packets through
// the protocol and the link, each against a plain loop writing the same bytes. Both sides
// of a pair write to one raw-mode pseudo-terminal standing in for a printer node, drained
// by one reader thread, and the sides alternate (plain, link, plain, link, ...), so a
// change in the machine's load between repetitions hits both sides alike.
//
// A third comparison puts the link beside a plain loop that writes the same way the link
// must (non-blocking, waiting in poll): a blocking write() lets the kernel wait inside one
// call, while a write with a time-out costs a write, an EAGAIN and a poll per few KiB the
// node takes, so the link is measured against both.
//
// Printed per comparison: the median of the per-pair throughput ratios (ours / plain)
// with its inter-quartile range, and the CPU time (user + system) of the sending thread
// per MiB for each side, which a busy neighbour disturbs far less than wall time.
//
//   kiln_bench_usb_link [--pairs=N]      N pairs per comparison (default 30, at least 20)
//   kiln_bench_usb_link --benchmark_min_time=...   a quick run of 3 pairs (the smoke test)

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/printer_pipes.h"
#include "protocol/data_transfer.h"
#include "protocol/prn_cmd.h"
#include "support/fake_clock.h"
#include "support/pty_pair.h"
#include "usb/printer_node_source.h"
#include "usb/usb_link.h"

namespace {

using kiln::testing::PtyPair;

constexpr uint32_t kPayload = 8u << 20;
constexpr uint32_t kImage = 4u << 20;
constexpr uint32_t kDefaultPairs = 30;
constexpr uint32_t kSmokePairs = 3;
constexpr double kMiB = 1 << 20;

// Bytes on the wire for an image sent as padded data packets.
uint32_t ImageWireBytes(uint32_t image) {
  const uint32_t piece = kiln::protocol::kDataPieceSize;
  const uint32_t full = image / piece;
  const uint32_t rest = image % piece;
  const uint32_t packet = (6 + piece + 63) / 64 * 64;
  return full * packet + (rest == 0 ? 0 : (6 + rest + 63) / 64 * 64);
}

const std::vector<uint8_t>& Payload() {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> bytes(kPayload);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31);
    return bytes;
  }();
  return data;
}

// The one printer of the benchmark, at the pseudo-terminal's node.
class OnePrinter final : public kiln::usb::PrinterNodeSource {
 public:
  explicit OnePrinter(std::string node) : node_(std::move(node)) {}
  std::vector<kiln::platform::UsbPrinterNode> PrinterNodes() override {
    kiln::platform::UsbPrinterNode printer;
    printer.node = node_;
    printer.vendorId = 0x2E5A;
    printer.productId = 0x0002;
    printer.serial = "BENCH";
    printer.present = true;
    return {printer};
  }

 private:
  std::string node_;
};

// The printer's end: one thread that reads everything arriving and counts it; a side
// waits until the bytes it sent have all been read.
class Reader {
 public:
  explicit Reader(int master) : master_(master), thread_([this] { Run(); }) {}
  ~Reader() {
    stop_ = true;
    thread_.join();
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  uint64_t Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  void WaitFor(uint64_t total) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait(lock, [&] { return received_ >= total || failed_; });
  }

 private:
  void Run() {
    std::vector<uint8_t> buffer(1 << 16);
    while (!stop_) {
      // Wake up now and then to notice the end of the run.
      pollfd entry{master_, POLLIN, 0};
      if (::poll(&entry, 1, 100) == 0) continue;
      const ssize_t n = ::read(master_, buffer.data(), buffer.size());
      std::lock_guard<std::mutex> lock(mutex_);
      if (n <= 0) {
        failed_ = true;
        arrived_.notify_all();
        return;
      }
      received_ += static_cast<uint64_t>(n);
      arrived_.notify_all();
    }
  }

  int master_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable arrived_;
  uint64_t received_ = 0;
  bool failed_ = false;
  std::thread thread_;
};

// Wall and sending-thread CPU time of one side's run.
struct Sample {
  double wallSeconds = 0;
  double cpuSeconds = 0;
};

double ThreadCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Runs send (which puts `bytes` on the wire) and waits until the reader has them all.
Sample Measure(Reader& reader, uint32_t bytes, const std::function<bool()>& send, bool& ok) {
  const uint64_t target = reader.Received() + bytes;
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = ThreadCpuSeconds();
  ok = send() && ok;
  const double cpuEnd = ThreadCpuSeconds();
  reader.WaitFor(target);
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  return {wall.count(), cpuEnd - cpuStart};
}

bool PlainWrite(int fd, const uint8_t* data, size_t count) {
  while (count > 0) {
    const ssize_t n = ::write(fd, data, count);
    if (n <= 0) return false;
    data += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

// The same loop on a non-blocking descriptor, waiting in poll() whenever the node takes
// nothing: the way the link must write to keep its time-out.
bool PlainPollWrite(int fd, const uint8_t* data, size_t count) {
  while (count > 0) {
    const ssize_t n = ::write(fd, data, count);
    if (n < 0 && errno == EAGAIN) {
      pollfd entry{fd, POLLOUT, 0};
      if (::poll(&entry, 1, 5000) <= 0) return false;
      continue;
    }
    if (n <= 0) return false;
    data += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

// The p-quantile (0..1) of values, linearly interpolated.
double Quantile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const double at = p * static_cast<double>(values.size() - 1);
  const auto low = static_cast<size_t>(at);
  const size_t high = std::min(low + 1, values.size() - 1);
  return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

// One comparison: pairs of (plain, ours), each writing `wire` bytes.
void Compare(const char* label, Reader& reader, uint32_t pairs, uint32_t wire,
             const std::function<bool()>& plain, const std::function<bool()>& ours) {
  std::vector<double> ratios;
  std::vector<double> plainCpu;
  std::vector<double> oursCpu;
  bool ok = true;
  for (uint32_t i = 0; i < pairs && ok; ++i) {
    const Sample p = Measure(reader, wire, plain, ok);
    const Sample o = Measure(reader, wire, ours, ok);
    ratios.push_back(p.wallSeconds / o.wallSeconds);  // throughput ours / plain
    plainCpu.push_back(p.cpuSeconds * 1000 / (wire / kMiB));
    oursCpu.push_back(o.cpuSeconds * 1000 / (wire / kMiB));
  }
  if (!ok || ratios.empty()) {
    std::printf("%s: a transfer failed\n", label);
    return;
  }
  std::printf(
      "%s throughput ratio: median %.3f (IQR %.3f-%.3f) over %zu pairs; "
      "CPU per MiB: plain %.3f ms, ours %.3f ms (medians)\n",
      label, Quantile(ratios, 0.5), Quantile(ratios, 0.25), Quantile(ratios, 0.75), ratios.size(),
      Quantile(plainCpu, 0.5), Quantile(oursCpu, 0.5));
}

uint32_t PairsFromArguments(int argc, char** argv) {
  uint32_t pairs = kDefaultPairs;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.rfind("--pairs=", 0) == 0) {
      pairs = static_cast<uint32_t>(std::max(1L, std::strtol(argument.c_str() + 8, nullptr, 10)));
    } else if (argument.rfind("--benchmark_min_time", 0) == 0) {
      pairs = kSmokePairs;
    }
  }
  return pairs;
}

}  // namespace

int main(int argc, char** argv) {
  const uint32_t pairs = PairsFromArguments(argc, argv);
  PtyPair pty;
  const int plainFd = ::open(pty.node().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (!pty.ok() || plainFd < 0) {
    std::printf("no pseudo-terminal\n");
    return 0;
  }
  OnePrinter devices(pty.node());
  kiln::testing::FakeClock clock;
  kiln::usb::CUsbLink link(kiln::usb::LinkServices{
      &kiln::platform::SystemProbes(), &kiln::platform::SystemPipeOpener(), &devices, &clock});
  if (link.OpenIOChannel(7, 1) != kiln::usb::kOpenOk) {
    std::printf("the link did not open the pseudo-terminal\n");
    ::close(plainFd);
    return 0;
  }
  kiln::protocol::CPrnCmd prn(&link, kiln::protocol::SendMode::kPadded);
  const std::vector<uint8_t>& data = Payload();
  Reader reader(pty.master());

  Compare(
      "link/plain", reader, pairs, kPayload,
      [&] { return PlainWrite(plainFd, data.data(), kPayload); },
      [&] {
        uint32_t written = 0;
        return link.WriteData(data.data(), kPayload, &written) == kiln::usb::ResultCode::kWritten &&
               written == kPayload;
      });
  // The link against a loop that does the same kind of writing (non-blocking, poll):
  // what is left is the link's own cost.
  const int pollFd = ::open(pty.node().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  Compare(
      "link/plain poll loop", reader, pairs, kPayload,
      [&] { return PlainPollWrite(pollFd, data.data(), kPayload); },
      [&] {
        uint32_t written = 0;
        return link.WriteData(data.data(), kPayload, &written) == kiln::usb::ResultCode::kWritten &&
               written == kPayload;
      });
  const uint32_t wire = ImageWireBytes(kImage);
  Compare(
      "image packets/plain", reader, pairs, wire,
      [&] { return PlainWrite(plainFd, data.data(), wire); },
      [&] {
        return kiln::protocol::SendDataInChunks(
                   prn, kiln::protocol::cmd::kFirmwareData, data.data(), kImage,
                   kiln::protocol::kDataPieceSize) == kiln::usb::ResultCode::kWritten;
      });

  link.CloseIOChannel();
  ::close(pollFd);
  ::close(plainFd);
  return 0;
}
