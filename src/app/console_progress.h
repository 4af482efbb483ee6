#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/update_progress.h"

namespace kiln::app {

// The silent update's progress as text lines on a console stream (standard error): one
// line per phase, the bytes sent with a percentage at most a few times a second, and
// each second of the count-down. On a terminal the byte and count-down lines update one
// line in place; otherwise every update is a line of its own. The phases' details and the
// warnings name folders and files from outside: they are printed terminal-safe
// (i18n::TerminalSafe), so no name can move the cursor or reorder a line.
class ConsoleProgress final : public UpdateProgress {
 public:
  // Milliseconds of real time (not the scaled clock: the pace is the reader's).
  using RealTimeMs = std::function<uint64_t()>;
  static constexpr uint64_t kDataLineIntervalMs = 250;

  ConsoleProgress(std::FILE* out, bool terminal, RealTimeMs now = SteadyMs);

  void Phase(UpdatePhase phase, std::string_view detail) override;
  void DataSent(uint32_t sent, uint32_t total) override;
  void CountdownSecond(uint32_t left) override;
  void Warning(std::string_view text) override;

  static uint64_t SteadyMs();
  static const char* PhaseName(UpdatePhase phase);

 private:
  // Writes text as the updating line (terminal) or as a line of its own; last ends the
  // updating line.
  void Update(const char* text, bool last);
  void EndUpdatingLine();
  // The last data line the throttle held back: how far a transfer got when it ends
  // without its last byte confirmed.
  void ShowHeldDataLine();

  std::FILE* out_;
  bool terminal_;
  RealTimeMs now_;
  bool lineOpen_ = false;
  std::string heldDataLine_;
  std::optional<uint64_t> lastDataLineMs_;
};

}  // namespace kiln::app
