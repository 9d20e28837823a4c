#include "bench/bundle_payloads.h"

#include <algorithm>

#include "common/endian.h"

namespace reelkit::bench {

Bytes BundleHeader(const char* kind) {
  Bytes bundle(4);
  StoreU32LE(bundle.data(), MakeFourCC(kind[0], kind[1], kind[2], kind[3]));
  return bundle;
}

void AppendSubPacket(Bytes& bundle, FourCC kind, const Bytes& payload) {
  const std::size_t at = bundle.size();
  bundle.resize(at + 8);
  StoreU32LE(bundle.data() + at, kind);
  StoreU32LE(bundle.data() + at + 4, static_cast<std::uint32_t>(payload.size()));
  bundle.insert(bundle.end(), payload.begin(), payload.end());
}

Bytes SmallDeltaPayload() {
  Bytes opcodes;
  for (int row = 0; row < 16; ++row) {
    opcodes.insert(opcodes.end(), {13, 64});
    for (int k = 0; k < 256; ++k) {
      opcodes.push_back(static_cast<std::uint8_t>(row + k));
    }
  }
  constexpr std::size_t kHeaderSize = 40;
  Bytes payload(kHeaderSize + opcodes.size(), 0);
  StoreU32LE(payload.data() + 8, static_cast<std::uint32_t>(opcodes.size()));
  StoreU32LE(payload.data() + 12, static_cast<std::uint32_t>(opcodes.size()));
  StoreU32LE(payload.data() + 16, 100);
  StoreU32LE(payload.data() + 20, 100);
  StoreU32LE(payload.data() + 24, 64);
  StoreU32LE(payload.data() + 28, 16);
  std::copy(opcodes.begin(), opcodes.end(), payload.begin() + kHeaderSize);
  return payload;
}

}  // namespace reelkit::bench
