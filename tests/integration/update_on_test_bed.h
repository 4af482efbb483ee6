#pragma once

// Whole updates on the umockdev test bed: a fixture that runs FlashFirmware against the
// test bed and records the download's notifications.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "config/firmware_package.h"
#include "protocol/download_observer.h"
#include "protocol/firmware_download.h"
#include "sim/printer_config.h"
#include "support/download_recorder.h"
#include "support/printer_builder.h"
#include "support/program_folder_builder.h"
#include "support/temp_dir.h"
#include "test_bed_fixture.h"

namespace kiln::testing {

// Seconds of the count-down after the download in UpdateOnTestBed::Update.
inline constexpr uint16_t kUpdateWaitSeconds = 8;
// The version of UpdateOnTestBed::Package, which every updated printer must report.
inline constexpr const char* kPackageVersion = "2.00";

class UpdateOnTestBed : public TestBedTest {
 protected:
  void SetUp() override {
    // Pauses of the updater and the printers at a hundredth of their length (read once,
    // at the first pause).
    ::setenv("KILN_TIME_SCALE", "0.01", 0);
    TestBedTest::SetUp();
  }

  // A package for the model's product ID: version "2.00", programmed in 3 seconds.
  std::string Package(uint32_t model, std::size_t size = 0x30000) {
    folder_.Package("fw.bin", model, kPackageVersion, {.size = size});
    return dir_.File("fw.bin");
  }

  bool Update(uint32_t openModel, uint32_t reopenModel, const std::string& image) {
    protocol::FlashRequest request;
    request.openModel = openModel;
    request.reopenModel = reopenModel;
    request.targetModel = openModel;
    request.connectedModel = openModel;
    request.largeModel = openModel >= 19;
    request.image = config::LoadFile(image);
    request.code = config::LoadFile(codePath_);
    request.table = config::LoadFile(tablePath_);
    request.waitSeconds = kUpdateWaitSeconds;
    request.waitForRestart = true;
    request.showCountdown = true;
    request.expectedVersion = kPackageVersion;
    request.facts = protocol::ModelFactsFor(request);
    result_ = protocol::FirmwareDownload().FlashFirmware(request, &recorder_);
    return result_.flashed;
  }

  TempDir dir_;
  ProgramFolderBuilder folder_{dir_};
  std::string codePath_, tablePath_;  // a large model's code and table files
  protocol::FlashResult result_;
  DownloadRecorder recorder_;
};

}  // namespace kiln::testing
