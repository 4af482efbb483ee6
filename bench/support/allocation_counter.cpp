// Replaces the global allocation functions with counting ones.
#include "support/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace kiln::bench {
namespace {
std::atomic<uint64_t> allocations{0};
thread_local int paused = 0;

void* Allocate(std::size_t size) {
  if (paused == 0) allocations.fetch_add(1, std::memory_order_relaxed);
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
}  // namespace

uint64_t AllocationCount() {
  return allocations.load(std::memory_order_relaxed);
}
PauseCounting::PauseCounting() {
  ++paused;
}
PauseCounting::~PauseCounting() {
  --paused;
}

}  // namespace kiln::bench

void* operator new(std::size_t size) {
  return kiln::bench::Allocate(size);
}
void* operator new[](std::size_t size) {
  return kiln::bench::Allocate(size);
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete[](void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  std::free(block);
}
