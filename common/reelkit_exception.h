#pragma once

#include <cstdint>
#include <exception>

#include "common/error_codes.h"
#include "common/input_limit.h"

namespace reelkit {

// What a conversion step was doing when it failed.
enum class ReelkitFailure : std::int32_t {
  ReadInput = 0,
  WriteOutput = 1,
  UnsupportedOutputFormat = 2,
};

// The conversion engine's own failure: thrown by value, caught by reference to const in
// ConvertFile, which turns it into one OnError call.
class CReelkitException : public std::exception {
 public:
  CReelkitException(ReelkitFailure failure, std::uint32_t error)
      : failure_(failure), error_(error) {}
  // An input refused by one of the program's own limits: invalid data that names the limit.
  explicit CReelkitException(const LimitRefusal& refusal)
      : failure_(ReelkitFailure::ReadInput), error_(kErrorInvalidData), refusal_(refusal) {}

  ReelkitFailure Failure() const { return failure_; }
  std::int32_t Code() const { return static_cast<std::int32_t>(failure_); }
  // A system error number, 38 for a short read, 13 for invalid data, 0 for an unsupported format.
  std::uint32_t Error() const { return error_; }
  // The limit that refused the input; InputLimit::None for every other failure.
  const LimitRefusal& Refusal() const { return refusal_; }

 private:
  ReelkitFailure failure_;
  std::uint32_t error_;
  LimitRefusal refusal_;
};

}  // namespace reelkit
