#pragma once

#include <cstdint>

namespace reelkit::testing {

// Counts the allocations of the whole test program: every call of the global operator new (which
// is replaced in every program that links this helper) and every storage a byte buffer takes. A
// test starts a count before a stretch of work and asks afterwards how many were made.
class CAllocationCount {
 public:
  CAllocationCount();
  std::uint64_t Made() const;

 private:
  std::uint64_t start_;
};

}  // namespace reelkit::testing
