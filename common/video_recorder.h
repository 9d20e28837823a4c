#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/bitmap_format.h"
#include "common/time.h"

namespace reelkit {

// What one sample handed to a recorder is; every sample stands for one frame interval.
enum class SampleKind {
  Picture,          // a decoded picture
  RepeatedPicture,  // a decoded output's spacer: the picture of the sample before, unchanged
  Bundle,           // pass-through: sub-packets that change the picture
  KeyBundle,        // pass-through: sub-packets that begin with a whole picture
  Spacer,           // pass-through: nothing changes
};

// Writes one output file from a timed sequence of samples. One thread owns a recorder: it calls
// Open once, Write once per sample in time order, and Close.
class IVideoRecorder {
 public:
  virtual ~IVideoRecorder() = default;

  // Takes the output file's path. Nothing is created yet: the first sample makes the file, so an
  // existing file stays untouched until there is something to write into it.
  virtual void Open(const std::string& outputPath) = 0;

  // format: the bitmap header (+ masks or palette) of the picture, or of the pass-through stream.
  // The file takes the format of its first sample; a later picture of another format (the
  // recording changed depth) is converted to it. bytes: the picture, the bundle's sub-packets, or
  // nothing for a spacer. A busy output is waited for here. Returns 0, or the error that refused
  // the sample; after a failure every later sample gets that error again.
  virtual std::uint32_t Write(SampleKind kind, const BitmapFormat& format,
                              std::span<const std::uint8_t> bytes, Time time) = 0;

  // Completes the file: the last sample is delivered, then the end of the stream and whatever
  // closes the container. Returns 0 or the error of the failed completion. A second call does
  // nothing and returns 0.
  virtual std::uint32_t Close() = 0;
};

}  // namespace reelkit
