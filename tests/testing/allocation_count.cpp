#include "tests/testing/allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "common/byte_storage.h"

namespace {
std::atomic<std::uint64_t> newCalls{0};
}  // namespace

void* operator new(std::size_t size) {
  newCalls.fetch_add(1, std::memory_order_relaxed);
  if (void* memory = std::malloc(size == 0 ? 1 : size)) {
    return memory;
  }
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete[](void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}

namespace reelkit::testing {

namespace {
std::uint64_t AllocationsSoFar() {
  return newCalls.load(std::memory_order_relaxed) + CByteStorage::MadeSoFar();
}
}  // namespace

CAllocationCount::CAllocationCount() : start_(AllocationsSoFar()) {}

std::uint64_t CAllocationCount::Made() const {
  return AllocationsSoFar() - start_;
}

}  // namespace reelkit::testing
