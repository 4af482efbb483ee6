#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/testbed/test_bed.h"
#include "support/lock_folder.h"
#include "support/temp_dir.h"

namespace kiln::testing {

// A test on the umockdev test bed: the printers' I/O-right lock files and the update
// history of the kiln programs it runs in temporary folders, and the test bed itself,
// removed before the lock folder.
class TestBedTest : public ::testing::Test {
 protected:
  void TearDown() override { bed_.reset(); }

  // Builds the test bed; the printers keep time on the (scaled) system clock.
  void Start(const std::vector<sim::VirtualPrinterConfig>& printers) {
    std::string error;
    bed_ = sim::TestBed::Create(printers, platform::SystemClock(), &error);
    ASSERT_NE(bed_, nullptr) << error;
  }

  LockFolderScope locks_;
  TempDir state_;
  EnvironmentScope stateHome_{"XDG_STATE_HOME", state_.path().string()};
  std::unique_ptr<sim::TestBed> bed_;
};

}  // namespace kiln::testing
