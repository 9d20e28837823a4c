#pragma once

#include "common/conversion_failure.h"

namespace reelkit {

// Every failure a conversion or a picture search can meet, as the one value its caller hears of.
// Called inside a catch handler: rethrows the exception being handled to see what it is.
ConversionFailure FailureOfCurrentException();

}  // namespace reelkit
