#pragma once

#include <cstdint>
#include <string_view>

#include "config/firmware_version.h"
#include "platform/fixed_text.h"

namespace kiln::app {

// A version text as read from a printer or a file: 23 characters at most.
using VersionText = FixedText<24>;

// Firmware versions are four-character texts ("1.07") compared as texts, character by
// character without regard to case; only the rules below read them as numbers. A text
// that states no version (config::IsFirmwareVersion) is never older or newer, and
// reads and packs as 0.
using config::CompareVersionText;

// The no-downgrade rule: the package is older than the printer's firmware (whose
// revision text counts only with its first four characters, "1.07a" as "1.07").
bool PackageOlderThanDevice(std::string_view packageVersion, std::string_view deviceVersion);

// The silent update's rule: the printer's first four characters compare smaller than
// the package's version.
bool DeviceOlderThanPackage(std::string_view deviceVersion, std::string_view packageVersion);

// The version read as a decimal number ("1.07a" reads 1.07, a text without digits 0).
double VersionAsDecimal(std::string_view version);

// The report messages' packed version: the number at the start in bits 31-24, the
// number after the first full stop in bits 23-16 (each modulo 256). A text without a
// full stop packs its leading number twice.
uint32_t PackVersion(std::string_view version);

}  // namespace kiln::app
