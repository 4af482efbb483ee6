#pragma once

#include <cstdint>

#include "i18n/language_file.h"
#include "platform/os_probes.h"
#include "platform/ui_language.h"

// The printer error message the main window shows after a failed download: the
// catalogue's English message for the code, translated through the printer driver's
// language-monitor file.
namespace kiln::i18n {

// The section of the language-monitor file whose keys are the English messages.
inline constexpr const char* kLanguageMonitorSection = "LANGUAGE_MONITOR";

// The driver's language-monitor file of a model: the driver folder, then "ox", the
// language tag, the model's driver code and ".ini", for example
// /usr/share/kiln/drivers/oxengqpc.ini for model 7 in English.
// The driver code comes from the first-generation table when firstGen is set. Empty
// when that table has no row for the model, or when the name would not fit in 1023
// characters.
LanguageText DriverLanguageFilePath(
    uint32_t modelSerial, bool firstGen, platform::PlatformProbes& os = platform::SystemProbes(),
    platform::LanguageProbes& language = platform::SystemLanguageProbes());

// Puts the message for code into out, translated when the driver's file has it, and
// returns true. Code 0, and a code no row of the model's catalogue carries, leave out
// unchanged and return false. A missing file (or a model without a driver file) gives
// the English message.
bool GetDriverErrorText(uint32_t modelSerial, uint32_t code, LanguageText& out, bool firstGen,
                        platform::PlatformProbes& os = platform::SystemProbes(),
                        platform::LanguageProbes& language = platform::SystemLanguageProbes());

}  // namespace kiln::i18n
