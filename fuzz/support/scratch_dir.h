#pragma once

#include <string>
#include <string_view>

namespace kiln::fuzz {

// A private folder for the files a target writes, made once per process in memory
// (/dev/shm) when possible so that flushing a file costs nothing, and removed with its
// files when the process ends.
const std::string& ScratchDir();

// Writes content to name inside the scratch folder and returns the file's path.
std::string WriteScratchFile(std::string_view name, std::string_view content);

}  // namespace kiln::fuzz
