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

  // The steps of one download, for a console's progress.
  enum class Stage { kSending, kCountdown, kReconnecting };

  virtual ~DownloadObserver() = default;
  virtual void OnDownloadNotification(uint32_t kind, uint32_t value) = 0;

  // Progress for a console (the window has no use for it): called whether or not the
  // count-down notifications are on. Ignored unless overridden.
  virtual void OnDownloadStage(Stage /*stage*/) {}
  // Payload bytes of the file going out now that the printer has taken, of total.
  virtual void OnDataSent(uint32_t /*sent*/, uint32_t /*total*/) {}
  // Each second of the count-down: seconds left (n, n-1, ..., 0).
  virtual void OnCountdownSecond(uint32_t /*left*/) {}
  // Something the user should know that does not stop the update, e.g. a print queue
  // that could not be paused: for a status line or standard error. Ignored unless
  // overridden.
  virtual void OnWarning(const char* /*text*/) {}
  // A stop was asked for while printers are being updated: said once, when the download
  // first sees it (before a printer's transfer, or while the printers are reconnected).
  // Ignored unless overridden.
  virtual void OnStopNoticed() {}
};

}  // namespace kiln
