#pragma once

// The kiln program run against virtual printers on the test bed: its standard output and
// error kept apart, its --json object read with the library.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <initializer_list>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/child_process.h"
#include "support/printer_builder.h"
#include "support/program_folder_builder.h"
#include "support/temp_dir.h"
#include "test_bed_fixture.h"

namespace kiln::testing {

inline constexpr std::chrono::seconds kKilnRunLimit{60};
inline constexpr uint32_t kKilnImageSize = 0x20000;

// How one run of the kiln program ended.
struct KilnFinished {
  int status = -1;
  std::string out, err;
};

// Standard output as JSON lines, each parsed with the library.
inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

// The printer with this serial number in a list of printers.
inline nlohmann::json BySerial(const nlohmann::json& printers, const std::string& serial) {
  for (const nlohmann::json& printer : printers) {
    if (printer["serial"] == serial) return printer;
  }
  ADD_FAILURE() << "no printer " << serial << " in " << printers.dump();
  return nlohmann::json::object();
}

// An M07 printer at 1.05 that restarts in half a second.
inline PrinterBuilder M07() {
  return PrinterBuilder(7).Version("1.05").RestartGapMs(500);
}

class KilnOnTestBed : public TestBedTest {
 protected:
  void SetUp() override {
    ::setenv("KILN_TIME_SCALE", "0.01", 1);
    ::unsetenv("DISPLAY");
    TestBedTest::SetUp();
  }

  // Kiln.ini for entry 1 with an M07 package at version, plus extra key lines.
  void Package(const char* version, std::initializer_list<std::string_view> extraKeys = {}) {
    ProgramFolderBuilder(dir_)
        .Package("fw.bin", 7, version, {.size = kKilnImageSize})
        .Entry(1, {"File=fw.bin", "Delay1=2", "Delay2=2"})
        .Lines(extraKeys);
  }

  // kiln with these options started, its output into files named after `name`.
  std::unique_ptr<ChildProcess> Launch(const std::vector<std::string>& options,
                                       const std::string& name = "run") {
    std::vector<std::string> argv = {
        "/bin/sh",    "-c",    "exec \"$0\" \"$@\" 2>" + dir_.File(name + ".err"),
        KILN_PROGRAM, "--dir", dir_.path().string()};
    argv.insert(argv.end(), options.begin(), options.end());
    return std::make_unique<ChildProcess>(argv, dir_.File(name + ".out"));
  }

  // Waits for a run Launch began.
  KilnFinished Finish(ChildProcess& kiln, const std::string& name = "run") {
    KilnFinished run;
    run.status = kiln.WaitFor(kKilnRunLimit).value_or(-1);
    run.out = TempDir::Read(dir_.File(name + ".out"));
    run.err = TempDir::Read(dir_.File(name + ".err"));
    return run;
  }

  // kiln with these options, to its end.
  KilnFinished Run(const std::vector<std::string>& options) {
    const std::unique_ptr<ChildProcess> kiln = Launch(options);
    return Finish(*kiln);
  }

  TempDir dir_;
};

}  // namespace kiln::testing
