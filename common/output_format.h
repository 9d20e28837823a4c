#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "common/fourcc.h"

namespace reelkit {

// The output format index. It travels as a plain 32-bit number (the command line and the wizard's
// settings may hold any value); only the values of kOutputFormats are supported.
enum class OutputFormat : std::int32_t {
  ScreenCodec = 0,
  MicrosoftRle = 2,
  MicrosoftVideo1 = 3,
  H264Mp4 = 4,
};

// Everything a front end or the engine needs to know of one output format, in one row.
struct OutputFormatDescriptor {
  OutputFormat format;
  // The "-fourcc" value, the stored wizard setting and the tag in output names ("call7_MRLE.avi").
  std::string_view name;
  std::string_view longName;
  FourCC fourcc;  // the stream's handler in the file
  int framesPerSecond;
  std::string_view extension;  // of the output file, with its "."
};

// The one table of output formats; every other mention of a format is checked against it.
inline constexpr std::array<OutputFormatDescriptor, 4> kOutputFormats = {{
    {OutputFormat::ScreenCodec, "VQSC", "Kestrix Video Encoder", kFourCCScreenCodec, 30, ".avi"},
    {OutputFormat::MicrosoftRle, "MRLE", "Microsoft RLE", kFourCCMicrosoftRle, 10, ".avi"},
    {OutputFormat::MicrosoftVideo1, "MSVC", "Microsoft Video 1", kFourCCMicrosoftVideo1, 10,
     ".avi"},
    {OutputFormat::H264Mp4, "H264", "H.264 in MP4", kFourCCH264, 10, ".mp4"},
}};

// The row of a format, or nullptr for an unsupported index.
constexpr const OutputFormatDescriptor* FindOutputFormat(OutputFormat format) {
  for (const OutputFormatDescriptor& row : kOutputFormats) {
    if (row.format == format) {
      return &row;
    }
  }
  return nullptr;
}

// The row whose name is exactly this (names are case-sensitive), or nullptr.
constexpr const OutputFormatDescriptor* FindOutputFormatNamed(std::string_view name) {
  for (const OutputFormatDescriptor& row : kOutputFormats) {
    if (row.name == name) {
      return &row;
    }
  }
  return nullptr;
}

constexpr bool IsSupportedOutputFormat(OutputFormat format) {
  return FindOutputFormat(format) != nullptr;
}

// Only meaningful for a supported format.
constexpr int FramesPerSecondOf(OutputFormat format) {
  return FindOutputFormat(format)->framesPerSecond;
}

// Only meaningful for a supported format.
constexpr FourCC FourCCOf(OutputFormat format) {
  return FindOutputFormat(format)->fourcc;
}

}  // namespace reelkit
