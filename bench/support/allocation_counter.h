#pragma once

#include <cstdint>

namespace kiln::bench {

// Counts heap allocations made by this process's own code paths, so a benchmark can
// report allocations per operation. Code that stands in for hardware (the virtual
// printer) runs inside a PauseCounting scope so that only the updater's side counts.
uint64_t AllocationCount();

class PauseCounting {
 public:
  PauseCounting();
  ~PauseCounting();
  PauseCounting(const PauseCounting&) = delete;
  PauseCounting& operator=(const PauseCounting&) = delete;
};

}  // namespace kiln::bench
