#include "app/console_progress.h"

#include <chrono>
#include <string>

#include "i18n/terminal_text.h"

namespace kiln::app {

ConsoleProgress::ConsoleProgress(std::FILE* out, bool terminal, RealTimeMs now)
    : out_(out), terminal_(terminal), now_(std::move(now)) {}

uint64_t ConsoleProgress::SteadyMs() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

const char* ConsoleProgress::PhaseName(UpdatePhase phase) {
  switch (phase) {
    case UpdatePhase::kConfiguration:
      return "configuration";
    case UpdatePhase::kConnection:
      return "connection";
    case UpdatePhase::kVersionCompare:
      return "version compare";
    case UpdatePhase::kCpuStep:
      return "CPU step";
    case UpdatePhase::kDownload:
      return "download";
    case UpdatePhase::kCountdown:
      return "count-down";
    case UpdatePhase::kReconnection:
      return "reconnection";
    case UpdatePhase::kResult:
      return "result";
  }
  return "?";
}

void ConsoleProgress::EndUpdatingLine() {
  if (!lineOpen_) return;
  std::fputc('\n', out_);
  lineOpen_ = false;
}

void ConsoleProgress::Update(const char* text, bool last) {
  if (terminal_) {
    // Clear to the end of the line: the new text may be shorter than the old one.
    std::fprintf(out_, "\r%s\033[K", text);
    lineOpen_ = true;
    if (last) EndUpdatingLine();
  } else {
    std::fprintf(out_, "%s\n", text);
  }
  std::fflush(out_);
}

void ConsoleProgress::ShowHeldDataLine() {
  if (heldDataLine_.empty()) return;
  const std::string line = std::move(heldDataLine_);
  heldDataLine_.clear();
  Update(line.c_str(), true);
}

void ConsoleProgress::Phase(UpdatePhase phase, std::string_view detail) {
  ShowHeldDataLine();
  EndUpdatingLine();
  lastDataLineMs_.reset();
  std::fprintf(out_, "kiln: %s", PhaseName(phase));
  if (!detail.empty()) std::fprintf(out_, ": %s", i18n::TerminalSafe(detail).c_str());
  std::fputc('\n', out_);
  std::fflush(out_);
}

void ConsoleProgress::DataSent(uint32_t sent, uint32_t total) {
  const bool last = sent >= total;
  const uint64_t now = now_();
  const uint64_t percent = total == 0 ? 100 : uint64_t{sent} * 100 / total;
  char text[96];
  std::snprintf(text, sizeof text, "kiln: sent %u of %u bytes (%u%%)", sent, total,
                static_cast<unsigned>(percent));
  if (!last && lastDataLineMs_ && now - *lastDataLineMs_ < kDataLineIntervalMs) {
    // Shown when the transfer ends short of its last byte (the next phase or warning).
    heldDataLine_ = text;
    return;
  }
  heldDataLine_.clear();
  // A new file starts its lines afresh.
  lastDataLineMs_ = last ? std::nullopt : std::optional<uint64_t>(now);
  Update(text, last);
}

void ConsoleProgress::CountdownSecond(uint32_t left) {
  char text[64];
  std::snprintf(text, sizeof text, "kiln: count-down: %u s", left);
  Update(text, left == 0);
}

void ConsoleProgress::Warning(std::string_view text) {
  ShowHeldDataLine();
  EndUpdatingLine();
  std::fprintf(out_, "kiln: warning: %s\n", i18n::TerminalSafe(text).c_str());
  std::fflush(out_);
}

}  // namespace kiln::app
