#pragma once

#include <cstdint>

namespace kiln {

// Receives the firmware download's notifications (the main window, or a command-line
// mode). Called synchronously on the download's thread.
class DownloadObserver {
 public:
  static constexpr uint32_t kCountdown = 1;     // value: seconds left, then kCountdownDone
  static constexpr uint32_t kPrinterError = 2;  // value: the printer's error code
  static constexpr uint32_t kCountdownDone = 0xFFFF;

  virtual ~DownloadObserver() = default;
  virtual void OnDownloadNotification(uint32_t kind, uint32_t value) = 0;
};

}  // namespace kiln
