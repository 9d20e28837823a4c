#pragma once

#include <cstdint>

#include "common/fourcc.h"

namespace reelkit {

// The output format index. It travels as a plain 32-bit number (the command line and the wizard's
// settings may hold any value); only the named values are supported.
enum class OutputFormat : std::int32_t {
  ScreenCodec = 0,      // pass-through "VQSC" at 30 frames per second
  MicrosoftRle = 2,     // "mrle" at 10 frames per second
  MicrosoftVideo1 = 3,  // "msvc" at 10 frames per second
  H264Mp4 = 4,          // H.264 in an MP4 file, pictures on a clock of 10 per second
};

constexpr bool IsSupportedOutputFormat(OutputFormat format) {
  return format == OutputFormat::ScreenCodec || format == OutputFormat::MicrosoftRle ||
         format == OutputFormat::MicrosoftVideo1 || format == OutputFormat::H264Mp4;
}

// Only meaningful for a supported format.
constexpr int FramesPerSecondOf(OutputFormat format) {
  return format == OutputFormat::ScreenCodec ? 30 : 10;
}

// Only meaningful for a supported format.
constexpr FourCC FourCCOf(OutputFormat format) {
  switch (format) {
    case OutputFormat::ScreenCodec:
      return kFourCCScreenCodec;
    case OutputFormat::MicrosoftRle:
      return kFourCCMicrosoftRle;
    case OutputFormat::MicrosoftVideo1:
      return kFourCCMicrosoftVideo1;
    case OutputFormat::H264Mp4:
      return kFourCCH264;
  }
  return 0;
}

}  // namespace reelkit
