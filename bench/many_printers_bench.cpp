// What an update of several printers costs at full length: whole updates of 1, 2, 4 and 8
// printers of one model (M07, then the large M25) on the umockdev test bed, each on a
// clock that sleeps a hundredth of every pause but counts it whole. Per run it prints the
// prescribed pauses (at their full length), the time spent outside them (measured), their
// sum as the real time the update takes, and the least time the update's order of steps
// allows, N*S + C + 9.0 + N*0.8 s: S the pauses of sending to one printer, C the one-second
// pause after the sending and the pauses of the first printer's check that follows, 9.0 the
// count-down, 0.8 the open and job reset of each printer's confirmation. (The silent update
// opens the printer three times before it, 0.9 s more on both sides.) Fails when a printer
// is left without the new firmware or was sent it twice.
//   kiln_bench_many_printers [--max N] [--fraction F]
//     N: largest printer count (default 8); F: share of each pause slept (default 0.01)
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "config/firmware_package.h"
#include "platform/printer_pipes.h"
#include "protocol/download_observer.h"
#include "protocol/firmware_download.h"
#include "sim/testbed/test_bed.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"
#include "support/timeline_clock.h"
#include "support/umockdev_reexec.h"
#include "usb/printer_node_source.h"

namespace {

using kiln::bench::TimelineClock;
using kiln::testing::TempDir;

constexpr std::size_t kImageSize = 0x30000;
constexpr uint16_t kWaitSeconds = 8;
constexpr uint32_t kCheckPauseMs = 1000;

struct ModelRun {
  const char* name;
  uint32_t model;
  double sendingSeconds;  // S: the open's pause and the pauses after each file's end
};
constexpr ModelRun kModels[] = {{"M07", 7, 0.8}, {"M25", 25, 1.8}};

// Where the download's stages began, as counts of the pauses made before them.
class StageMarks final : public kiln::DownloadObserver {
 public:
  explicit StageMarks(TimelineClock& clock) : clock_(clock) {}
  void OnDownloadNotification(uint32_t, uint32_t) override {}
  void OnDownloadStage(Stage stage) override {
    const std::size_t made = clock_.Pauses().size();
    if (stage == Stage::kSending) sending = made;
    if (stage == Stage::kCountdown) countdown = made;
  }
  std::size_t sending = 0;
  std::size_t countdown = 0;

 private:
  TimelineClock& clock_;
};

// C: the one-second pause that ends the sending and the pauses of the first printer's
// check after it, up to the count-down. (Sending pays a second only between tries, and
// each try goes on with an open's pause.)
double CheckSeconds(const std::vector<uint32_t>& pauses, const StageMarks& marks) {
  if (marks.countdown <= marks.sending || marks.countdown > pauses.size()) return 0;
  std::size_t check = marks.countdown;
  for (std::size_t i = marks.countdown; i-- > marks.sending;) {
    if (pauses[i] == kCheckPauseMs) {
      check = i;
      break;
    }
  }
  return std::accumulate(pauses.begin() + static_cast<std::ptrdiff_t>(check),
                         pauses.begin() + static_cast<std::ptrdiff_t>(marks.countdown), 0.0) /
         1000.0;
}

struct Files {
  std::string package;
  std::string code;
  std::string table;
};

Files WriteFiles(TempDir& dir, uint32_t model) {
  const std::string tag = std::to_string(model);
  return {dir.Write("fw" + tag + ".bin",
                    kiln::testing::MakePackage(kImageSize, kiln::config::kHeaderOffsetMain,
                                               kiln::sim::ProductIdOfModel(model), 3, 3, "2.00")),
          dir.Write("code" + tag + ".bin", std::string(0x12000, 'c')),
          dir.Write("table" + tag + ".bin", std::string(0x800, 't'))};
}

struct Figures {
  double pauses = 0;
  double outside = 0;
  double check = 0;
  bool allUpdated = true;
};

bool UpdatePrinters(const ModelRun& run, std::size_t count, const Files& files, double fraction,
                    Figures& figures) {
  TimelineClock clock(fraction);
  std::vector<kiln::sim::VirtualPrinterConfig> printers(count);
  for (std::size_t i = 0; i < count; ++i) {
    printers[i].model = run.model;
    printers[i].serialNumber = "P" + std::to_string(i);
    printers[i].version = "1.00";
  }
  std::string error;
  auto bed = kiln::sim::TestBed::Create(printers, clock, &error);
  if (!bed) {
    std::fprintf(stderr, "no test bed: %s\n", error.c_str());
    return false;
  }
  clock.SetAfterPause([&bed] { bed->WaitUntilShown(); });
  StageMarks marks(clock);
  kiln::protocol::FlashRequest request;
  request.openModel = run.model;
  request.reopenModel = run.model;
  request.targetModel = run.model;
  request.connectedModel = run.model;
  request.largeModel = run.model >= 19;
  request.image = kiln::config::LoadFile(files.package);
  request.code = kiln::config::LoadFile(files.code);
  request.table = kiln::config::LoadFile(files.table);
  request.waitSeconds = kWaitSeconds;
  request.expectedVersion = "2.00";  // as the package says: every printer is checked for it
  request.waitForRestart = true;
  request.facts = kiln::protocol::ModelFactsFor(request);
  const kiln::usb::LinkFactory makeLink = [&clock] {
    return std::make_unique<kiln::usb::CUsbLink>(kiln::usb::LinkServices{
        &kiln::platform::SystemProbes(), &kiln::platform::SystemPrinterPipes(),
        &kiln::usb::SystemPrinterNodes(), &clock});
  };

  const double pausedBefore = clock.PausedSeconds();
  const double outsideBefore = clock.OutsideSeconds();
  const kiln::protocol::FlashResult result =
      kiln::protocol::FirmwareDownload(makeLink).FlashFirmware(request, &marks);
  const bool ok = result.flashed;
  figures.pauses = clock.PausedSeconds() - pausedBefore;
  figures.outside = clock.OutsideSeconds() - outsideBefore;
  figures.check = CheckSeconds(clock.Pauses(), marks);

  clock.SetAfterPause(nullptr);
  figures.allUpdated = ok;
  if (!ok) {
    std::fprintf(stderr, "%s, %zu printers: the update failed: %s\n", run.name, count,
                 result.text.c_str());
  }
  for (std::size_t i = 0; i < count; ++i) {
    kiln::sim::VirtualPrinter& printer = bed->Printer(i);
    const std::size_t images =
        request.largeModel ? printer.Files().size() / 3 : printer.Images().size();
    if (printer.Version() != "2.00" || images != 1 || printer.ProgrammingRuns() != 1) {
      figures.allUpdated = false;
      std::fprintf(stderr, "%s, %zu printers: printer %zu has version %s after %zu images\n",
                   run.name, count, i, printer.Version().c_str(), images);
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!kiln::testing::RunUnderUmockdev(argv)) return 127;
  std::size_t most = 8;
  double fraction = 0.01;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--max") == 0) most = std::strtoul(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--fraction") == 0) fraction = std::strtod(argv[i + 1], nullptr);
  }
  TempDir locks;
  ::setenv("KILN_LOCK_DIR", locks.path().c_str(), 1);
  TempDir dir;

  std::printf("%-6s %8s %9s %10s %12s %8s %8s\n", "model", "printers", "pauses s", "outside s",
              "real-time s", "least s", "over s");
  bool allUpdated = true;
  for (const ModelRun& run : kModels) {
    const Files files = WriteFiles(dir, run.model);
    for (std::size_t count = 1; count <= most; count *= 2) {
      Figures figures;
      if (!UpdatePrinters(run, count, files, fraction, figures)) return 2;
      const auto n = static_cast<double>(count);
      const double least = n * run.sendingSeconds + figures.check + 9.0 + n * 0.8;
      const double real = figures.pauses + figures.outside;
      std::printf("%-6s %8zu %9.2f %10.3f %12.2f %8.2f %+8.2f%s\n", run.name, count, figures.pauses,
                  figures.outside, real, least, real - least,
                  figures.allUpdated ? "" : "   NOT ALL UPDATED");
      allUpdated = allUpdated && figures.allUpdated;
    }
  }
  return allUpdated ? 0 : 1;
}
