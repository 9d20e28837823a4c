#pragma once

#include <gst/gst.h>

#include "common/conversion_failure.h"

namespace reelkit::gst {

// Posts the failure on the bus as the element's error: a GStreamer error code that says what kind
// of failure it is, a sentence for the user that says why, and the engine's values for whoever
// debugs it. Called on a streaming thread.
void PostFailure(GstElement* element, const ConversionFailure& failure);

}  // namespace reelkit::gst
