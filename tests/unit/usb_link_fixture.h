#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "models/model_table.h"
#include "support/fake_clock.h"
#include "support/lock_folder.h"
#include "support/temp_dir.h"
#include "usb_link_doubles.h"

namespace kiln::usb::testing {

inline constexpr uint32_t kModel7 = 7;  // VID/PID 2E5A:0002
inline constexpr uint32_t kModel9 = 9;  // VID/PID 2E5A:0103
inline constexpr uint32_t kVidPid7 = 0x2E5A0002;
inline constexpr uint32_t kVidPid9 = 0x2E5A0103;

// A link on doubles, lock files in a temporary folder.
class LinkTest : public ::testing::Test {
 protected:
  CUsbLink& MakeLink() {
    probes_ = std::make_unique<FixedProbes>();
    link_ = std::make_unique<CUsbLink>(LinkServices{probes_.get(), &pipes_, &nodes_, &clock_});
    return *link_;
  }

  // One printer of model 7, opened as instance 1.
  std::shared_ptr<PrinterScript> OpenModel7() {
    nodes_.list.push_back(Printer("/dev/usb/lp0", kVidPid7, "SN7"));
    auto script = pipes_.Add("/dev/usb/lp0");
    CUsbLink& link = MakeLink();
    EXPECT_EQ(link.OpenIOChannel(kModel7, 1), kOpenOk);
    return script;
  }

  // A pipe of the printer at lp0 beside the link's own, for single transfers.
  template <typename Pipe>
  Pipe PipeOfLp0() {
    Pipe pipe;
    pipe.Open(pipes_.Open("/dev/usb/lp0"));
    return pipe;
  }

  kiln::testing::LockFolderScope locks_;
  kiln::testing::FakeClock clock_;
  ScriptedOpener pipes_;
  ListedNodes nodes_;
  std::unique_ptr<FixedProbes> probes_;
  std::unique_ptr<CUsbLink> link_;
};

}  // namespace kiln::usb::testing
