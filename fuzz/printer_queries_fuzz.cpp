// The short printer queries on the real link, against a printer whose pipes answer
// with fuzzed bytes: the connection probe, the version query and the colour-mode query.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "app/printer_queries.h"
#include "models/model_table.h"
#include "support/fuzz_channel.h"
#include "support/fuzz_input.h"
#include "support/scratch_dir.h"
#include "usb/printer_node_source.h"

namespace {

using kiln::fuzz::AnswerStream;
using kiln::fuzz::FuzzInput;
namespace usb = kiln::usb;
namespace models = kiln::models;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "printer queries fuzz: %s\n", what);
  std::abort();
}

// One connected printer of the model, whose pipes answer from the stream.
class FuzzPrinterBus final : public usb::PrinterNodeSource, public kiln::platform::PipeOpener {
 public:
  explicit FuzzPrinterBus(AnswerStream& answers) : answers_(answers) {}
  void SetModel(uint32_t model) { model_ = model; }

  std::vector<kiln::platform::UsbPrinterNode> PrinterNodes() override {
    const models::PrinterModel* row = models::ModelBySerial(model_);
    kiln::platform::UsbPrinterNode node;
    node.node = "/dev/usb/lp0";
    node.vendorId = 0x2E5A;
    node.productId = row != nullptr ? models::ProductIdOf(row->vidPid) : 0;
    node.serial = "FUZZ";
    node.present = true;
    return {node};
  }
  std::unique_ptr<kiln::platform::PipeFile> Open(const char* /*devicePath*/) override {
    return std::make_unique<kiln::fuzz::FuzzPipe>(answers_);
  }

 private:
  AnswerStream& answers_;
  uint32_t model_ = 7;
};

class NoDisplay final : public kiln::app::VersionDisplay {
 public:
  void ShowCurrentVersion(const char* text) override {
    if (std::strlen(text) >= 24) Fail("version text beyond its limit");
  }
  bool IsInitialised() const override { return true; }
};

void Queries(FuzzInput& in, AnswerStream& answers, FuzzPrinterBus& bus) {
  kiln::app::PrinterState printer;
  const uint32_t model = 1 + in.Byte() % 38;
  bus.SetModel(in.Bool() ? model : 19);
  printer.connectedModel = model;
  printer.largeModel = models::IsLargeModel(model);
  const bool noBusyCheck = in.Bool();
  NoDisplay display;
  kiln::fuzz::InstantClock clock;
  kiln::app::PrinterQueries queries(printer, &display, [&bus, &clock] {
    return std::make_unique<usb::CUsbLink>(
        usb::LinkServices{&kiln::platform::SystemProbes(), &bus, &bus, &clock});
  });
  const uint8_t which = in.Byte();
  answers = AnswerStream(in.Rest());
  switch (which % 3) {
    case 0:
      (void)queries.ProbeConnection(model);
      break;
    case 1:
      (void)queries.QueryDeviceVersion();
      break;
    default: {
      kiln::app::ColourModeText text;
      (void)queries.QueryColourMode(model, noBusyCheck, &text);
      if (text.size() > 47) Fail("colour mode beyond its limit");
      break;
    }
  }
  if (printer.deviceVersion.size() >= 24) Fail("device version beyond its limit");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static AnswerStream answers;
  static FuzzPrinterBus bus(answers);
  static const bool locksSet = ::setenv("KILN_LOCK_DIR", kiln::fuzz::ScratchDir().c_str(), 1) == 0;
  (void)locksSet;
  FuzzInput in(data, size);
  Queries(in, answers, bus);
  return 0;
}
