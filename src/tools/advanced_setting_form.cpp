#include "tools/advanced_setting_form.h"

#include "tools/entry_text.h"

namespace kiln::tools {

DelayCheck TakeDelay(std::string_view typed, uint16_t& seconds) {
  std::string_view digits = typed;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
  if (digits.empty()) return DelayCheck::kNotANumber;
  int value = 0;
  bool tooLarge = false;
  for (const char c : digits) {
    if (c < '0' || c > '9') return DelayCheck::kNotANumber;
    // Counting stops beyond the range, so that no number of digits can wrap.
    if (!tooLarge) value = value * 10 + (c - '0');
    tooLarge = tooLarge || value > kLongestDelaySeconds;
  }
  if (tooLarge || (negative && value != 0)) return DelayCheck::kOutOfRange;
  seconds = static_cast<uint16_t>(value);
  return DelayCheck::kTaken;
}

AdvancedSettingForm::AdvancedSettingForm(const config::ConfigFolder& folder, int entryIndex)
    : EntryForm(folder, entryIndex) {
  const config::EntrySettings::Advanced& advanced = *opened_.advanced;
  static_cast<config::EntrySettings::AdvancedFlags&>(values) = advanced;
  values.cpuFile = ShownText(advanced.cpuFile);
  values.cpuTable = ShownText(advanced.cpuTable);
  values.cpuCode = ShownText(advanced.cpuCode);
  // The delays the update would use: an absent key is the update's default, not 0.
  values.cpuDelay = std::to_string(advanced.cpuDelay);
  values.firmwareDelay = std::to_string(advanced.firmwareDelay);
}

AdvancedSettingForm::DelayProblem AdvancedSettingForm::CheckDelays() const {
  uint16_t seconds = 0;
  if (DelayCheck check = TakeDelay(values.cpuDelay, seconds); check != DelayCheck::kTaken) {
    return {check, Delay::kCpu};
  }
  return {TakeDelay(values.firmwareDelay, seconds), Delay::kFirmware};
}

Notice AdvancedSettingForm::DelayNotice(DelayCheck check) {
  if (check == DelayCheck::kOutOfRange) {
    return {"Kiln", "Please enter an integer between " + std::to_string(kShortestDelaySeconds) +
                        " and " + std::to_string(kLongestDelaySeconds) + "."};
  }
  return {"Kiln", "Please enter an integer."};
}

SaveOutcome AdvancedSettingForm::Save() const {
  config::EntrySettings settings = opened_;
  settings.main.reset();
  config::EntrySettings::Advanced& advanced = *settings.advanced;
  if (TakeDelay(values.cpuDelay, advanced.cpuDelay) != DelayCheck::kTaken ||
      TakeDelay(values.firmwareDelay, advanced.firmwareDelay) != DelayCheck::kTaken) {
    return SaveOutcome::kNotTaken;
  }
  static_cast<config::EntrySettings::AdvancedFlags&>(advanced) = values;
  advanced.cpuFile = StoredBytes(values.cpuFile, advanced.cpuFile);
  advanced.cpuTable = StoredBytes(values.cpuTable, advanced.cpuTable);
  advanced.cpuCode = StoredBytes(values.cpuCode, advanced.cpuCode);
  return Write(settings);
}

}  // namespace kiln::tools
