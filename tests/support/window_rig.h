#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/app_session.h"
#include "config/firmware_package.h"
#include "config/model_entry.h"
#include "config/package.h"
#include "platform/installed_printers.h"
#include "sim/virtual_printer.h"
#include "support/printer_builder.h"
#include "support/program_folder_builder.h"
#include "support/temp_dir.h"
#include "support/virtual_printer_rig.h"

namespace kiln::testing {

// The print system's list of installed printers, answering a set count.
class FakeInstalledPrinters final : public platform::InstalledPrinters {
 public:
  uint32_t CountInstalledPrinters(const char* driverName) override {
    asked.emplace_back(driverName);
    return count;
  }
  uint32_t count = 1;
  std::vector<std::string> asked;
};

// A program folder with Kiln.ini and packages, virtual printers in this process and a
// session pointed at the folder.
class WindowRig {
 public:
  // Kiln.ini with the given text; the session is located there.
  void Ini(const std::string& text) {
    dir.Write("Kiln.ini", text);
    (void)app::LocateConfig(session, dir.path().string());
  }
  // A main-firmware package for model's product ID, programmed in 3 seconds.
  std::string Package(const std::string& name, uint32_t model, const std::string& version,
                      uint32_t headerOffset = config::kHeaderOffsetMain) {
    folder.Package(name, model, version, {.headerOffset = headerOffset});
    return dir.File(name);
  }
  // Kiln.ini with one M25 entry (Delay2=2) and its three files: code, table and a
  // main-firmware package of version 3.00.
  void LargeModelEntry() {
    Ini("[FW_INFO1]\nModel=M25\nCodeName=code.bin\nTableName=table.bin\nFwName=fw25.bin\n"
        "Delay2=2\n");
    folder.Package("fw25.bin", 25, "3.00")
        .File("code.bin", std::string(0x100, 'c'))
        .File("table.bin", std::string(0x80, 't'));
  }
  // Entry 1 and its package as START reads them, the package's files loaded; the
  // package is empty when it is not valid.
  std::pair<config::ModelEntry, config::Package> ReadForStart() {
    const config::ModelEntry entry = config::ReadModelEntry(session.folder, 1);
    config::Package package;
    package.files = config::LoadPackageFiles(entry, session.colourTable);
    const config::PackageReading reading = config::ReadPackageInfo(entry, package.files);
    if (reading.valid) package.info() = reading.info;
    return {entry, package};
  }
  sim::VirtualPrinter& Printer(uint32_t model, const std::string& version = "1.00") {
    return printers.Add(PrinterBuilder(model).Version(version).Serial(
        "SN" + std::to_string(printers.clock.NowMs()) + version));
  }

  TempDir dir;
  ProgramFolderBuilder folder{dir};
  VirtualPrinterRig printers;
  FakeInstalledPrinters installed;
  app::AppSession session;
};

}  // namespace kiln::testing
