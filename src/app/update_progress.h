#pragma once

#include <cstdint>
#include <string_view>

namespace kiln::app {

// The steps of the silent update, as its progress shows them.
enum class UpdatePhase {
  kConfiguration,
  kConnection,
  kVersionCompare,
  kCpuStep,
  kDownload,
  kCountdown,
  kReconnection,
  kResult,
};

// Readable progress of the silent update (--progress). Never shown in a window and never
// on standard output, which carries the reports alone.
class UpdateProgress {
 public:
  virtual ~UpdateProgress() = default;
  virtual void Phase(UpdatePhase phase, std::string_view detail) = 0;
  // Payload bytes of the file going out that the printer has taken, of total.
  virtual void DataSent(uint32_t sent, uint32_t total) = 0;
  // Seconds left of the programming time.
  virtual void CountdownSecond(uint32_t left) = 0;
};

// Progress that goes nowhere (no --progress).
class NoProgress final : public UpdateProgress {
 public:
  void Phase(UpdatePhase, std::string_view) override {}
  void DataSent(uint32_t, uint32_t) override {}
  void CountdownSecond(uint32_t) override {}
};

}  // namespace kiln::app
