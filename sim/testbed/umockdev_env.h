#pragma once

#include <string>

namespace kiln::sim {

// Whether this process runs with umockdev's preload library (under umockdev-wrapper or
// an equivalent LD_PRELOAD), so that its children see a test bed's sysfs and /dev.
bool InUmockdevEnvironment();

// The LD_PRELOAD value that puts umockdev's preload library in front of current: after
// the sanitizer runtime when this program is built with AddressSanitizer (the runtime
// must come first), otherwise first.
std::string PreloadWithUmockdev(const std::string& current, const std::string& sanitizerRuntime);

// Re-executes this program with the same arguments under umockdev's preload library:
// through umockdev-wrapper, or, in an AddressSanitizer build, with LD_PRELOAD set here so
// that the sanitizer runtime stays first. Returns only on failure, with error set.
void ReexecuteUnderUmockdev(char** argv, std::string& error);

}  // namespace kiln::sim
