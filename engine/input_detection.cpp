#include <array>
#include <cstring>
#include <fstream>
#include <span>

#include "common/endian.h"
#include "common/picture_rules.h"
#include "engine/convert.h"

namespace reelkit {
namespace {

constexpr std::size_t kFirstStreamHandlerOffset = 112;
constexpr std::size_t kDetectionPrefixSize = 128;

bool HasBytes(std::span<const std::uint8_t> bytes, std::size_t offset, const char* text) {
  return std::memcmp(bytes.data() + offset, text, std::strlen(text)) == 0;
}

bool ClassifyInputPrefix(std::span<const std::uint8_t, kDetectionPrefixSize> prefix,
                         InputKind& kind) {
  const std::uint32_t magic = LoadU32LE(prefix.data());
  const std::uint32_t version = LoadU32LE(prefix.data() + 4);
  if (magic == kRawRecordingMagic && version <= 1) {
    kind = InputKind::RawRecording;
    return true;
  }
  // Only "AVI" of the form type is examined, so the continuation form "AVIX" passes too.
  if (HasBytes(prefix, 0, "RIFF") && HasBytes(prefix, 8, "AVI") &&
      HasBytes(prefix, kFirstStreamHandlerOffset, "VQSC")) {
    kind = InputKind::AviWithScreenCodec;
    return true;
  }
  return false;
}

}  // namespace

bool DetectInputKind(const std::string& inputPath, InputKind& kind) {
  std::ifstream file(inputPath, std::ios::binary);
  if (!file) {
    return false;
  }
  std::array<std::uint8_t, kDetectionPrefixSize> prefix{};
  file.read(reinterpret_cast<char*>(prefix.data()), prefix.size());
  if (file.gcount() != static_cast<std::streamsize>(prefix.size())) {
    return false;
  }
  return ClassifyInputPrefix(prefix, kind);
}

}  // namespace reelkit
