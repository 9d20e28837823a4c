#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/bitmap_format.h"
#include "common/fourcc.h"
#include "common/time.h"
#include "common/video_recorder.h"
#include "recorders/picture_conversion.h"

namespace reelkit {

class CFilterGraph;
class CPushSourceBitmap;
enum class PendingFrame;

// The format an AVI file declares for a stream whose first picture has this format: bit fields
// become plain RGB with their masks beside it, a palette is always a full table, and the sample
// size leaves room for a little more than one picture (a pass-through bundle carries sub-packet
// headers too).
struct AviFileFormat {
  BitmapFormat format;
  std::array<std::uint32_t, 3> masks{};
};

// Empty when no AVI file can hold such pictures (no size, an impossible depth, a side past the
// largest a recording can have).
std::optional<AviFileFormat> AviFileFormatFor(const BitmapFormat& firstPicture);

// Turns a timed sequence of samples into one AVI file. The pipeline (push source, the compressor
// found for the FourCC, AVI multiplexer) is built by the first sample and lives until Close.
//
// Pass-through mode (the screen codec's FourCC): samples are bundles of the screen stream and
// spacers, copied into batches that go to the streaming thread a few hundred at a time; a bundle
// too large for a batch is borrowed, and the call waits until the streaming thread has copied it.
// A failure downstream is reported by a later Write, or by Close.
//
// Copy mode (every other FourCC): samples are decoded pictures, copied and encoded on the
// streaming thread while the caller goes on; a picture handed over while the one before is still
// pending waits for it.
class CAviRecorder final : public IVideoRecorder {
 public:
  CAviRecorder(double framesPerSecond, FourCC fourcc);
  ~CAviRecorder() override;
  CAviRecorder(const CAviRecorder&) = delete;
  CAviRecorder& operator=(const CAviRecorder&) = delete;

  void Open(const std::string& outputPath) override;
  // A header of size 0 is refused with 1 and nothing latched; a failed build returns its result
  // code, then and on every later call; after Close every sample gets 1.
  std::uint32_t Write(SampleKind kind, const BitmapFormat& format,
                      std::span<const std::uint8_t> bytes, Time time) override;
  std::uint32_t Close() override;

  Time FrameDuration() const { return frameDuration_; }

 private:
  struct BuiltFormat {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitCount = 0;
  };

  bool IsCopyMode() const;
  std::uint32_t BuildForFirstSample(const BitmapFormat& format, Time time);
  std::uint32_t Build();
  // 170 while the streaming thread has not yet taken the picture before.
  std::uint32_t HandOver(std::uint32_t kind, const BitmapFormat& format,
                         std::span<const std::uint8_t> bytes, Time time);
  bool DiffersFromFile(const BitmapFormat& format) const;
  std::span<const std::uint8_t> ConvertToFileFormat(const BitmapFormat& format,
                                                    std::span<const std::uint8_t> picture);
  std::uint32_t TearDown(PendingFrame pending);

  double framesPerSecond_;
  Time frameDuration_;
  FourCC fourcc_;
  std::string outputPath_;

  std::unique_ptr<CFilterGraph> graph_;
  CPushSourceBitmap* pushSource_ = nullptr;  // owned by graph_
  AviFileFormat file_;
  BuiltFormat built_;
  Time timeBase_ = 0;
  bool isBuilt_ = false;
  bool failed_ = false;
  bool closed_ = false;
  std::uint32_t failure_ = 0;
  std::optional<CPictureConverter> converter_;  // made by the first picture of another format
};

}  // namespace reelkit
