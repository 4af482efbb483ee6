#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kiln::config {

// No file of a package may be larger than this: no model's flash holds more, and a
// larger (or sparse, huge) file is refused before a byte of it is read.
inline constexpr uint64_t kLargestPackageFile = 64ull * 1024 * 1024;

// One file of a package as it was read when the update started. Whatever happens to the
// file afterwards (replaced, renamed, damaged), these are the bytes that are checked and
// sent. Copies share the bytes.
struct LoadedFile {
  std::string path;                                   // empty: no file is named for this role
  std::shared_ptr<const std::vector<uint8_t>> bytes;  // nullptr: could not be read

  bool named() const { return !path.empty(); }
  bool readable() const { return bytes != nullptr; }
  const uint8_t* data() const { return bytes != nullptr ? bytes->data() : nullptr; }
  uint32_t size() const { return bytes != nullptr ? static_cast<uint32_t>(bytes->size()) : 0; }
};

// Reads a regular file whole, once: unreadable when it cannot be opened or read (a FIFO,
// a folder), when fstat shows it empty or larger than kLargestPackageFile (then nothing is
// read), or when it changed while it was read (a package rewritten in place), which the
// debug trace names.
LoadedFile LoadFile(const std::string& path);

// Every file one update may send, by its role, each read once when the update starts
// (START, or the silent update's first read): the update never opens a package file
// again. A file named in two roles is read once and shared.
struct PackageFiles {
  LoadedFile firmware;                        // the normal firmware (File or FwName)
  LoadedFile code, table;                     // a large model's code and table files
  LoadedFile altFirmware, altCode, altTable;  // the alternative set
  LoadedFile cpuFirmware, cpuCode, cpuTable;  // the CPU firmware step
  LoadedFile colourTable;                     // the colour table chosen for this update
};

}  // namespace kiln::config
