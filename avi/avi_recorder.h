#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "avi/picture_conversion.h"
#include "common/bitmap_format.h"
#include "common/fourcc.h"
#include "common/time.h"

namespace reelkit {

class CFilterGraph;
class CPushSourceBitmap;
enum class PendingFrame;

// Turns a timed sequence of frames into one AVI file. The pipeline (push source, the compressor
// found for the FourCC, AVI multiplexer) is built lazily by the first frame and lives until Close.
//
// Pass-through mode (FourCC "VQSC"): frames are packets of the screen stream, borrowed for the
// length of the call. Copy mode (every other FourCC): frames are decoded pictures, copied and
// encoded on the streaming thread while the caller goes on.
//
// Threads: WriteFrame, WaitUntilReady and Close from the owner's thread (or several, serialised by
// the frame lock); the push source's streaming thread encodes and writes.
class CAviRecorder {
 public:
  CAviRecorder(double framesPerSecond, FourCC fourcc);
  virtual ~CAviRecorder();
  CAviRecorder(const CAviRecorder&) = delete;
  CAviRecorder& operator=(const CAviRecorder&) = delete;

  // kind: 0 = decoded picture; 8 BNDL, 9 KBND, 10 EMPT in pass-through. In copy mode, 10 marks a
  // spacer whose picture is the one of the frame before, which need not be copied again (the
  // first frame of a file is always copied). format: the bitmap header
  // (+ masks or palette) of the picture or of the pass-through stream. Returns 0 accepted, 170
  // busy, anything else refused: a failed build returns its result code, then and on every later
  // call.
  virtual std::uint32_t WriteFrame(std::uint32_t kind, std::span<const std::uint8_t> packet,
                                   const BitmapFormat& format,
                                   std::span<const std::uint8_t> picture,
                                   const std::string& outputPath, Time time);

  // Blocks until a WriteFrame would not return busy, or the stream has failed.
  virtual void WaitUntilReady();

  // Completes the file: a pending frame is delivered first, then end of stream and the trailer.
  // Returns 0 or the error of the failed completion. Safe to call twice; the destructor calls it.
  virtual std::uint32_t Close();

  Time FrameDuration() const { return frameDuration_; }

 private:
  struct BuiltFormat {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitCount = 0;
  };

  bool IsCopyMode() const;
  std::uint32_t BuildForFirstFrame(std::uint32_t& kind, const BitmapFormat& format,
                                   const std::string& outputPath, Time time);
  std::uint32_t Build(const std::string& outputPath);
  std::uint32_t HandOver(std::uint32_t kind, std::span<const std::uint8_t> packet,
                         const BitmapFormat& format, std::span<const std::uint8_t> picture,
                         Time time);
  bool DiffersFromFile(const BitmapFormat& format) const;
  std::span<const std::uint8_t> ConvertToFileFormat(const BitmapFormat& format,
                                                    std::span<const std::uint8_t> picture);
  std::uint32_t TearDown(PendingFrame pending);

  double framesPerSecond_;
  Time frameDuration_;
  FourCC fourcc_;

  std::unique_ptr<CFilterGraph> graph_;
  CPushSourceBitmap* pushSource_ = nullptr;  // owned by graph_
  BitmapFormat storedFormat_;
  std::array<std::uint32_t, 3> storedMasks_{};
  BuiltFormat built_;
  Time timeBase_ = 0;
  bool isBuilt_ = false;
  bool failed_ = false;
  bool closed_ = false;
  std::uint32_t failure_ = 0;
  std::optional<CPictureConverter> converter_;  // made by the first picture of another format

  std::mutex frameLock_;
};

}  // namespace reelkit
