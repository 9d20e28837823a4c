#pragma once

#include <cstdint>

#include "common/error_codes.h"

namespace reelkit {

// The decoder's failures. Thrown by value and caught by reference to const: a handler for
// CAviException receives every derived class.
class CAviException {
 public:
  std::uint32_t Code() const { return code_; }

 protected:
  explicit CAviException(std::uint32_t code) : code_(code) {}

 private:
  std::uint32_t code_;
};

// A malformed stream format or MOVE record (code 13).
class CAviException_InvalidData : public CAviException {
 public:
  CAviException_InvalidData() : CAviException(kErrorInvalidData) {}
};

// The delta codec met an opcode stream that reaches outside its buffers (0xC0000005).
class CAviException_AccessViolation : public CAviException {
 public:
  CAviException_AccessViolation() : CAviException(kStatusAccessViolation) {}
};

// A MOVE record named a position outside the picture (0xC000008C).
class CAviException_ArrayBoundsExceeded : public CAviException {
 public:
  CAviException_ArrayBoundsExceeded() : CAviException(kStatusArrayBoundsExceeded) {}
};

}  // namespace reelkit
