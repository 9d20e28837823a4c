#pragma once

namespace reelkit::bench {

struct DecoderStepFigures {
  double bundleSeconds = 0;  // one small-delta bundle through DecodePacket, picture step included
  double memcpySeconds = 0;  // one memcpy of the same picture
};

// A 32-bit screen decoded at its own size: the median of several timed bundles and copies.
DecoderStepFigures MeasureDecoderStep(int width, int height);

}  // namespace reelkit::bench
