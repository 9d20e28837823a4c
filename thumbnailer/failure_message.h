#pragma once

#include <string>

#include "common/conversion_failure.h"

namespace reelkit {

// Why no thumbnail was made, in one line for the log of whoever ran the thumbnailer. A file
// manager shows no message, so these stay short and plain; the converter words the same failures
// at length for its users.
std::string DescribeFailure(const ConversionFailure& failure);

}  // namespace reelkit
