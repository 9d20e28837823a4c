#pragma once

// Screen stream bundles built by hand for the decoder's benchmarks.

#include <cstdint>
#include <vector>

#include "common/fourcc.h"

namespace reelkit::bench {

using Bytes = std::vector<std::uint8_t>;

// A bundle of the given kind ("BNDL", "KBND") with no sub-packets yet.
Bytes BundleHeader(const char* kind);

void AppendSubPacket(Bytes& bundle, FourCC kind, const Bytes& payload);

// A stored DLTA of literal words over a 64 x 16 rectangle: what one typed character sends.
Bytes SmallDeltaPayload();

}  // namespace reelkit::bench
