#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kiln::app {

// The SHA-256 digest of bytes as 64 lower-case hex digits: the update history names the
// exact package file a printer received by it.
std::string Sha256Hex(std::span<const uint8_t> bytes);

}  // namespace kiln::app
