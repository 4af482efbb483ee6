#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/entry_form.h"

namespace kiln::tools {

// What the Advanced Settings dialog edits, as shown: the flags, texts in UTF-8, the
// delays as typed.
struct AdvancedValues : config::EntrySettings::AdvancedFlags {
  std::string cpuFile, cpuTable, cpuCode;
  std::string cpuDelay, firmwareDelay;  // seconds
};

// A delay box takes whole seconds from 0 to the configuration's longest delay.
inline constexpr int kShortestDelaySeconds = 0;
inline constexpr int kLongestDelaySeconds = static_cast<int>(config::kLongestDelaySeconds);

enum class DelayCheck { kTaken, kNotANumber, kOutOfRange };
// Reads a delay typed as an optional sign and decimal digits.
DelayCheck TakeDelay(std::string_view typed, uint16_t& seconds);

// The rules of "Advance Settings:": the CPU-firmware-first option with its files, five
// option flags and the two programming delays of one model entry. Nothing is written
// until Save.
class AdvancedSettingForm : public EntryForm {
 public:
  enum class Delay { kCpu, kFirmware };
  struct DelayProblem {
    DelayCheck check = DelayCheck::kTaken;
    Delay delay = Delay::kCpu;  // the box that failed first
  };

  AdvancedSettingForm(const config::ConfigFolder& folder, int entryIndex);

  // The model the entry names (its layout follows it).
  uint32_t modelSerial() const { return opened_.modelSerial; }

  // The first delay box that cannot be taken, CPU before firmware.
  DelayProblem CheckDelays() const;
  static Notice DelayNotice(DelayCheck check);

  // Writes the entry's advanced keys; kNotTaken, writing nothing, when a delay cannot be
  // taken.
  SaveOutcome Save() const;

  AdvancedValues values;
};

}  // namespace kiln::tools
