#include "common/input_limit.h"

#include "common/time.h"

namespace reelkit {
namespace {

constexpr std::uint64_t kMebibyte = std::uint64_t{1} << 20;
constexpr std::uint64_t kGibibyte = std::uint64_t{1} << 30;
constexpr std::uint64_t kUnitsPerHour = 3600 * static_cast<std::uint64_t>(kTimeUnitsPerSecond);
constexpr std::uint64_t kUnitsPerYear = 365 * 24 * kUnitsPerHour;

std::string SizeText(std::uint64_t bytes) {
  if (bytes != 0 && bytes % kGibibyte == 0) {
    return std::to_string(bytes / kGibibyte) + " GiB";
  }
  if (bytes != 0 && bytes % kMebibyte == 0) {
    return std::to_string(bytes / kMebibyte) + " MiB";
  }
  return std::to_string(bytes) + " bytes";
}

}  // namespace

std::string DescribeLimitRefusal(const LimitRefusal& refusal) {
  const std::string asked = std::to_string(refusal.asked);
  switch (refusal.limit) {
    case InputLimit::FormatBlockSize:
      return "The recording's format block of " + asked + " bytes exceeds the limit of " +
             SizeText(refusal.allowed) + ".";
    case InputLimit::PictureSide:
      return "A picture side of " + asked + " pixels exceeds the limit of " +
             std::to_string(refusal.allowed) + " pixels.";
    case InputLimit::PictureBytes:
      return "A picture of " + asked + " bytes at 32 bits per pixel exceeds the limit of " +
             SizeText(refusal.allowed) + ".";
    case InputLimit::DecodedPixels:
      return "A picture of " + asked + " pixels exceeds the decoder's limit of " +
             std::to_string(refusal.allowed) + " pixels.";
    case InputLimit::DecodedDepth:
      return "A picture of " + asked +
             " bit per pixel can only be passed through; convert this recording to VQSC.";
    case InputLimit::RecordBlockSize:
      return "A record block of " + asked + " bytes exceeds the limit of " +
             SizeText(refusal.allowed) + ".";
    case InputLimit::ChunkSize:
      return "A chunk of " + asked + " bytes exceeds the limit of " + SizeText(refusal.allowed) +
             ".";
    case InputLimit::BundleSize:
      return "The records of one frame interval take " + asked + " bytes, more than the limit of " +
             SizeText(refusal.allowed) + ".";
    case InputLimit::VideoLength:
      return "The recording asks for more than " + std::to_string(refusal.allowed / kUnitsPerHour) +
             " hours of video.";
    case InputLimit::Timestamp:
      return "A record's timestamp lies more than " +
             std::to_string(refusal.allowed / kUnitsPerYear) +
             " years from the recording clock's origin.";
    case InputLimit::None:
      break;
  }
  return {};
}

}  // namespace reelkit
