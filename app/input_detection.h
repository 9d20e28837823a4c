#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace reelkit {

enum class InputKind : std::int32_t {
  AviWithScreenCodec = 0,
  RawRecording = 1,
};

inline constexpr std::size_t kDetectionPrefixSize = 128;

// Classifies an input by its first 128 bytes; the file name plays no part. False when the file
// cannot be opened, is shorter than 128 bytes or is neither kind.
bool DetectInputKind(const std::string& inputPath, InputKind& kind);

// The content rule on its own, for bytes already read.
bool ClassifyInputPrefix(std::span<const std::uint8_t, kDetectionPrefixSize> prefix,
                         InputKind& kind);

}  // namespace reelkit
