#pragma once

#include <string>

#include "common/conversion_failure.h"

namespace reelkit {

// The console's English words for what the engine reports as values.

// The words for a failure's number, by what it means: the system's for an errno (passed up the
// pipeline or not), ours for the program's and the pipeline's own numbers. No full stop.
std::string DescribeErrorCode(const FailureCode& code);

// The sentences, one a line, that say why a failure happened where the console's fixed message
// of its kind does not; empty when that message says it all.
std::string DescribeFailureCause(const ConversionFailure& failure);

}  // namespace reelkit
