#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "common/bitmap_format.h"
#include "common/byte_block.h"
#include "common/fourcc.h"
#include "decoder/cursor_overlay.h"
#include "decoder/decompression.h"
#include "decoder/native_format.h"
#include "decoder/picture_geometry.h"

namespace reelkit {

// Turns the bundles of a recorded screen stream into output pictures. It keeps the native screen
// state (the current and previous planes the deltas work on, the screen image they show, the
// cursor) and after each bundle leaves the screen fitted into the output size, cursor drawn, in
// the output depth, in the caller's frame. One thread uses a decoder at a time.
class CScreenStreamDecoder {
 public:
  CScreenStreamDecoder();
  ~CScreenStreamDecoder();
  CScreenStreamDecoder(const CScreenStreamDecoder&) = delete;
  CScreenStreamDecoder& operator=(const CScreenStreamDecoder&) = delete;

  // streamFormat: the recording's bitmap format with its colour table/masks. outputFormat: the
  // job's output bitmap format (already 32 bits, compression 0, for 4/8/24-bit streams; holds the
  // stream's colour table at start); the decoder reads and may change it (FINT, INIT). Throws
  // CAviException_InvalidData for a bad format. Does nothing once initialised.
  void Initialize(const BitmapFormat& streamFormat, BitmapFormat& outputFormat);

  // packet: a whole bundle starting with its own FourCC ("BNDL"/"KBND"); frame: the caller's
  // picture buffer (bottom-up DIB in the output format, kept by the caller between calls). Every
  // write into frame is bounded by frame.size() and by the output format's image size. Throws the
  // CAviException family after returning to the uninitialised state with empty buffers.
  void DecodePacket(const BitmapFormat& streamFormat, BitmapFormat& outputFormat,
                    std::span<const std::uint8_t> packet, std::span<std::uint8_t> frame);

  bool IsInitialized() const { return initialized_; }
  const PlaneLayout& NativeLayout() const { return native_; }
  // The native screen as the sub-packets left it, without the cursor.
  std::span<const std::uint8_t> ScreenImage() const { return screenImage_.span(); }

 private:
  struct BundleEffects {
    bool rescale = false;
  };

  void DecodeBundle(const BitmapFormat& streamFormat, BitmapFormat& outputFormat,
                    std::span<const std::uint8_t> packet, std::span<std::uint8_t> frame);
  BundleEffects WalkSubPackets(const BitmapFormat& streamFormat, BitmapFormat& outputFormat,
                               std::span<const std::uint8_t> packet,
                               std::span<std::uint8_t> picture);
  void HandleSubPacket(FourCC kind, std::span<const std::uint8_t> payload,
                       const BitmapFormat& streamFormat, BitmapFormat& outputFormat,
                       std::span<std::uint8_t> picture, BundleEffects& effects);
  // 32-bit pixels whose channels are not in the plain order are read through their masks.
  bool RemapsChannels() const;
  bool ConvertsPictures(std::uint32_t outputBitCount) const;
  // Makes the output format say how the pixels handed out are laid out: 32-bit ones always in
  // the plain order, 16-bit bit fields by the native masks.
  void DescribeWrittenPixels(BitmapFormat& outputFormat) const;
  std::span<std::uint8_t> DestinationPicture(bool converting, std::uint64_t frameLength,
                                             std::span<std::uint8_t> frame);

  void ClearIfResized(std::span<std::uint8_t> picture);
  // formatEnd: where the part of the payload that describes the format ends (a key image's
  // pixels follow it).
  void ResetFormat(std::span<const std::uint8_t> payload, std::uint64_t formatEnd, bool fullReset,
                   const BitmapFormat& streamFormat, BitmapFormat& outputFormat);
  void TakeAnnouncedFormat(std::span<const std::uint8_t> payload, const BitmapInfoHeader& header,
                           const ColorMasks& masks, BitmapFormat& outputFormat);
  void KeepPlanesWithoutFormat(bool fullReset, const BitmapFormat& streamFormat,
                               BitmapFormat& outputFormat);
  void DecodeKeyImage(std::span<const std::uint8_t> payload, const BitmapFormat& streamFormat,
                      BitmapFormat& outputFormat);
  // Fills a plane from the key image's stream; what the stream lacks is zero.
  void InflateWholePlane(std::span<std::uint8_t> plane);
  void DecodeDelta(std::span<const std::uint8_t> payload);
  void ApplyMoves(std::span<const std::uint8_t> payload);

  void ResizeBuffers(std::uint64_t size);
  void ResizeScratch(std::uint64_t planeSize);
  void ReleaseAndReset();

  ByteBlock currentPlane_;
  ByteBlock previousPlane_;
  // Decompressed opcodes or move records; never shorter than the planes.
  ByteBlock scratch_;
  // The size the planes and the screen image were last given; bounds every write into them.
  std::uint64_t bufferSize_ = 0;
  ByteBlock screenImage_;
  // The picture at native depth when it is converted afterwards. It keeps the last picture, cursor
  // included, from one call to the next, which is all the next call needs of it.
  ByteBlock workingFrame_;
  bool converting_ = false;
  PlaneLayout native_;
  std::uint32_t nativeColorsImportant_ = 0;
  ColorMasks nativeMasks_{};
  CPictureGeometry geometry_;
  CCursorOverlay cursor_;
  CInflater inflater_;
  bool initialized_ = false;
};

}  // namespace reelkit
