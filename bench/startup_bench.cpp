// Start-up of the interactive window to its first status, on the printers of a
// kiln-testbed run (see CMakeLists.txt), at the real pauses: the printer is probed and
// its version and colour mode read, each after an open that pauses 300 ms. And the
// driver check when no print server answers.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <cups/cups.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <chrono>
#include <string>

#include "app/gui/main_window.h"
#include "config/firmware_package.h"
#include "platform/installed_printers.h"
#include "sim/printer_config.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace {

using kiln::testing::TempDir;

void BM_StartupToFirstStatus(benchmark::State& state) {
  TempDir folder;
  TempDir locks;
  ::setenv("KILN_LOCK_DIR", locks.path().c_str(), 1);
  folder.Write("Kiln.ini", "[FW_INFO1]\nModel=M07\nFile=fw7.bin\nNoCheckDriver=1\n");
  folder.Write("fw7.bin", kiln::testing::MakePackage(0x30000, kiln::config::kHeaderOffsetMain,
                                                     kiln::sim::ProductIdOfModel(7), 3, 3, "2.00"));
  std::string status;
  for (auto _ : state) {
    kiln::app::AppSession session;
    kiln::app::MainWindow window(session);
    window.show();
    (void)window.Initialise(folder.path().string(), &kiln::platform::OpenUsbPrinterMonitor);
    status = window.findChild<QLabel*>("1001")->text().section('\n', 0, 0).toStdString();
  }
  state.SetLabel(status);
  ::unsetenv("KILN_LOCK_DIR");
}
BENCHMARK(BM_StartupToFirstStatus)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The driver check against a print server that takes the connection but never answers
// (a listening socket nobody serves).
void BM_DriverCheckWithSilentServer(benchmark::State& state) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener, 4) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    state.SkipWithError("no listening socket");
    return;
  }
  const std::string server = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  ::setenv("CUPS_SERVER", server.c_str(), 1);
  cupsSetServer(nullptr);  // libcups keeps the server it read first: read CUPS_SERVER again
  for (auto _ : state) {
    benchmark::DoNotOptimize(kiln::platform::SystemInstalledPrinters().CountInstalledPrinters(
        "Orvix Photo Printer T08"));
  }
  ::unsetenv("CUPS_SERVER");
  cupsSetServer(nullptr);
  ::close(listener);
}
BENCHMARK(BM_DriverCheckWithSilentServer)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
