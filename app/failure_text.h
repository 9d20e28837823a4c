#pragma once

#include <cstdint>
#include <string>

#include "common/conversion_failure.h"
#include "common/input_limit.h"

namespace reelkit {

// The console's English words for what the engine reports as values.

// One sentence describing an error code. Codes we do not name ourselves are taken as errno
// values, or as errno values wrapped by the pipeline.
std::string DescribeErrorCode(std::uint32_t code);

// The sentence shown under a failed write: system errors in the words of the system, the
// pipeline's own codes in ours.
std::string DescribeWriteFailure(std::uint32_t code);

// One sentence naming the limit that refused an input.
std::string DescribeLimitRefusal(const LimitRefusal& refusal);

// The sentence that says why a failure happened where its fixed message does not, or empty.
std::string DescribeFailureCause(const ConversionFailure& failure);

}  // namespace reelkit
