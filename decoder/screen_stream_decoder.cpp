#include "decoder/screen_stream_decoder.h"

#include <algorithm>
#include <cstring>

#include "common/byte_reader.h"
#include "common/endian.h"
#include "common/packet_kind.h"
#include "decoder/avi_exception.h"
#include "decoder/delta_codec.h"
#include "decoder/depth_conversion.h"
#include "decoder/scaled_blit.h"
#include "decoder/screen_moves.h"

namespace reelkit {
namespace {

// FINT and KFRM payloads announce a format with this marker in their first word.
constexpr std::uint32_t kFormatMarker = 101;
constexpr std::size_t kEmbeddedHeaderOffset = 32;
constexpr std::size_t kEmbeddedColorTableOffset = kEmbeddedHeaderOffset + kBitmapInfoHeaderSize;

// DLTA payload fields.
constexpr std::size_t kDeltaHeaderSize = 40;
constexpr std::size_t kDeltaCompressedLength = 8;
constexpr std::size_t kDeltaStreamLength = 12;
constexpr std::size_t kDeltaLeft = 16;
constexpr std::size_t kDeltaTop = 20;
constexpr std::size_t kDeltaWidth = 24;
constexpr std::size_t kDeltaHeight = 28;
constexpr std::size_t kDeltaMethod = 36;

// The header a FINT or KFRM payload announces, if it carries the marker. A marked payload too
// short to hold the header is invalid data.
std::optional<BitmapInfoHeader> AnnouncedFormat(std::span<const std::uint8_t> payload) {
  if (payload.size() < 4 || LoadU32LE(payload.data()) != kFormatMarker) {
    return std::nullopt;
  }
  if (payload.size() < kEmbeddedColorTableOffset) {
    throw CAviException_InvalidData();
  }
  return ReadBitmapInfoHeader(payload.data() + kEmbeddedHeaderOffset);
}

// Masks that select no colour at all are as good as none.
std::optional<ColorMasks> SelectingMasks(const ColorMasks& masks) {
  return masks == ColorMasks{} ? std::nullopt : std::optional(masks);
}

std::optional<ColorMasks> CarriedMasks(const BitmapFormat& format) {
  if (format.Header().compression != kCompressionBitFields) {
    return std::nullopt;
  }
  return SelectingMasks(format.Masks());
}

// The masks of an announced header: those right behind it when the part of the payload that
// describes the format (up to formatEnd) holds them, else the recording's own when it has the
// announced depth (announcements commonly leave them out).
ColorMasks AnnouncedMasks(std::span<const std::uint8_t> payload, std::uint64_t formatEnd,
                          const BitmapInfoHeader& header, const BitmapFormat& streamFormat) {
  std::optional<ColorMasks> carried;
  if (std::min<std::uint64_t>(formatEnd, payload.size()) >= kEmbeddedColorTableOffset + 12) {
    const std::uint8_t* masks = payload.data() + kEmbeddedColorTableOffset;
    carried = SelectingMasks({LoadU32LE(masks), LoadU32LE(masks + 4), LoadU32LE(masks + 8)});
  }
  if (!carried && streamFormat.Header().bitCount == header.bitCount) {
    carried = CarriedMasks(streamFormat);
  }
  return NativeMasks(header, carried);
}

std::uint32_t PositiveOrZero(std::int32_t value) {
  return value > 0 ? static_cast<std::uint32_t>(value) : 0;
}

// The bytes a picture in the output format takes, bounded by the caller's frame.
std::uint64_t FrameLength(const BitmapFormat& outputFormat, std::span<const std::uint8_t> frame) {
  const BitmapInfoHeader header = outputFormat.Header();
  const std::uint64_t imageSize = std::uint64_t{PositiveOrZero(header.height)} *
                                  DibStride(PositiveOrZero(header.width), header.bitCount);
  return std::min<std::uint64_t>(frame.size(), imageSize);
}

std::uint16_t WrittenBitCount(std::uint32_t nativeBitCount) {
  return static_cast<std::uint16_t>(DecodesTo32Bits(nativeBitCount) ? 32 : nativeBitCount);
}

void SetImageSize(BitmapInfoHeader& header) {
  header.sizeImage =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(DibImageSize(header), UINT32_MAX));
}

// Copies the announced colour table into the output format: at most 256 entries, and entries
// the payload does not hold become zero.
std::uint32_t CopyAnnouncedColorTable(std::span<const std::uint8_t> payload,
                                      const BitmapInfoHeader& header, BitmapFormat& outputFormat) {
  const auto entries =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(header.clrUsed, kMaxColorTableEntries));
  const auto table = outputFormat.ColorTable().first(4 * std::size_t{entries});
  const auto source = payload.subspan(std::min(payload.size(), kEmbeddedColorTableOffset));
  const std::size_t available = std::min(table.size(), source.size());
  std::copy_n(source.begin(), available, table.begin());
  std::fill(table.begin() + static_cast<std::ptrdiff_t>(available), table.end(), std::uint8_t{0});
  return entries;
}

}  // namespace

CScreenStreamDecoder::CScreenStreamDecoder() = default;

CScreenStreamDecoder::~CScreenStreamDecoder() = default;

void CScreenStreamDecoder::Initialize(const BitmapFormat& streamFormat,
                                      BitmapFormat& outputFormat) {
  if (initialized_) {
    return;
  }
  try {
    initialized_ = true;
    const BitmapInfoHeader header = streamFormat.Header();
    CheckNativeFormat(header);
    native_ = {static_cast<std::uint32_t>(header.width), static_cast<std::uint32_t>(header.height),
               header.bitCount};
    nativeColorsImportant_ = header.clrImportant;
    nativeMasks_ = NativeMasks(header, CarriedMasks(streamFormat));
    DescribeWrittenPixels(outputFormat);
    screenImage_.Clear();
    converting_ = false;
  } catch (...) {
    ReleaseAndReset();
    throw;
  }
}

void CScreenStreamDecoder::DecodePacket(const BitmapFormat& streamFormat,
                                        BitmapFormat& outputFormat,
                                        std::span<const std::uint8_t> packet,
                                        std::span<std::uint8_t> frame) {
  try {
    DecodeBundle(streamFormat, outputFormat, packet, frame);
  } catch (...) {
    ReleaseAndReset();
    throw;
  }
}

void CScreenStreamDecoder::DecodeBundle(const BitmapFormat& streamFormat,
                                        BitmapFormat& outputFormat,
                                        std::span<const std::uint8_t> packet,
                                        std::span<std::uint8_t> frame) {
  const std::uint64_t frameLength = FrameLength(outputFormat, frame);
  const bool converting = ConvertsPictures(outputFormat.Header().bitCount);
  converting_ = converting;
  std::span<std::uint8_t> picture = DestinationPicture(converting, frameLength, frame);
  cursor_.Restore(picture);

  const BundleEffects effects = WalkSubPackets(streamFormat, outputFormat, packet, picture);

  // A format announcement may have changed either depth, and with it where the picture goes and
  // how long it is.
  const BitmapInfoHeader output = outputFormat.Header();
  const std::uint64_t newFrameLength = FrameLength(outputFormat, frame);
  converting_ = ConvertsPictures(output.bitCount);
  if (converting_ != converting || newFrameLength != frameLength) {
    picture = DestinationPicture(converting_, newFrameLength, frame);
    if (converting_ != converting) {
      std::fill(picture.begin(), picture.end(), std::uint8_t{0});
      const auto whole = frame.first(static_cast<std::size_t>(newFrameLength));
      std::fill(whole.begin(), whole.end(), std::uint8_t{0});
    }
  }

  geometry_.Update(native_, PositiveOrZero(output.width), PositiveOrZero(output.height));
  if (effects.rescale) {
    BlitScaled(screenImage_.span(), geometry_, picture);
  }
  cursor_.Draw(picture, geometry_);
  if (converting_) {
    const auto whole = frame.first(static_cast<std::size_t>(newFrameLength));
    if (RemapsChannels()) {
      ConvertMaskedRgb32(workingFrame_.span(), geometry_, nativeMasks_, whole);
    } else {
      ConvertToRgb32(workingFrame_.span(), geometry_, output.bitCount, outputFormat.ColorTable(),
                     whole);
    }
  }
}

bool CScreenStreamDecoder::RemapsChannels() const {
  return native_.bitCount == 32 && nativeMasks_ != kMasksPlain32;
}

bool CScreenStreamDecoder::ConvertsPictures(std::uint32_t outputBitCount) const {
  return ConversionApplies(native_.bitCount, outputBitCount) ||
         (RemapsChannels() && outputBitCount == 32);
}

void CScreenStreamDecoder::DescribeWrittenPixels(BitmapFormat& outputFormat) const {
  BitmapInfoHeader output = outputFormat.Header();
  if (output.bitCount == 32) {
    output.compression = kCompressionRgb;
    outputFormat.SetHeader(output);
  } else if (output.bitCount == 16 && output.compression == kCompressionBitFields) {
    outputFormat.SetMasks(nativeMasks_);
  }
}

std::span<std::uint8_t> CScreenStreamDecoder::DestinationPicture(bool converting,
                                                                 std::uint64_t frameLength,
                                                                 std::span<std::uint8_t> frame) {
  const auto length = static_cast<std::size_t>(frameLength);
  if (!converting) {
    return frame.first(length);
  }
  if (workingFrame_.size() != length) {
    workingFrame_.ResizeZeroed(length);
  }
  return workingFrame_.span();
}

CScreenStreamDecoder::BundleEffects CScreenStreamDecoder::WalkSubPackets(
    const BitmapFormat& streamFormat, BitmapFormat& outputFormat,
    std::span<const std::uint8_t> packet, std::span<std::uint8_t> picture) {
  BundleEffects effects;
  if (packet.size() < 4) {
    return effects;
  }
  const PacketKind outer = PacketKindOfFourCC(LoadU32LE(packet.data()));
  if (outer != PacketKind::Bndl && outer != PacketKind::Kbnd) {
    return effects;
  }
  ByteReader reader(packet.subspan(4));
  while (reader.Remaining() >= 4) {
    const FourCC kind = *reader.ReadU32();
    if (kind == 0) {
      break;
    }
    const auto size = reader.ReadU32();
    if (!size) {
      break;
    }
    const auto payload = reader.Take(*size);
    if (!payload) {
      break;
    }
    HandleSubPacket(kind, *payload, streamFormat, outputFormat, picture, effects);
  }
  return effects;
}

void CScreenStreamDecoder::HandleSubPacket(FourCC kind, std::span<const std::uint8_t> payload,
                                           const BitmapFormat& streamFormat,
                                           BitmapFormat& outputFormat,
                                           std::span<std::uint8_t> picture,
                                           BundleEffects& effects) {
  switch (PacketKindOfFourCC(kind)) {
    case PacketKind::Fint:
      ClearIfResized(picture);
      effects.rescale = true;
      ResetFormat(payload, payload.size(), true, streamFormat, outputFormat);
      break;
    case PacketKind::Kfrm:
      ClearIfResized(picture);
      effects.rescale = true;
      DecodeKeyImage(payload, streamFormat, outputFormat);
      break;
    case PacketKind::Init:
      ResetFormat({}, 0, false, streamFormat, outputFormat);
      break;
    case PacketKind::Dlta:
      effects.rescale = true;
      DecodeDelta(payload);
      break;
    case PacketKind::Mous:
      cursor_.SetShape(payload, inflater_);
      break;
    case PacketKind::Mpos:
      cursor_.SetPosition(payload);
      break;
    case PacketKind::Move:
      ApplyMoves(payload);
      break;
    default:
      break;
  }
}

void CScreenStreamDecoder::ClearIfResized(std::span<std::uint8_t> picture) {
  if (screenImage_.size() == picture.size()) {
    return;
  }
  std::fill(picture.begin(), picture.end(), std::uint8_t{0});
  screenImage_.Zero();
}

void CScreenStreamDecoder::ResetFormat(std::span<const std::uint8_t> payload,
                                       std::uint64_t formatEnd, bool fullReset,
                                       const BitmapFormat& streamFormat,
                                       BitmapFormat& outputFormat) {
  if (const auto header = AnnouncedFormat(payload)) {
    TakeAnnouncedFormat(payload, *header, AnnouncedMasks(payload, formatEnd, *header, streamFormat),
                        outputFormat);
  } else {
    KeepPlanesWithoutFormat(fullReset, streamFormat, outputFormat);
  }
}

void CScreenStreamDecoder::TakeAnnouncedFormat(std::span<const std::uint8_t> payload,
                                               const BitmapInfoHeader& header,
                                               const ColorMasks& masks,
                                               BitmapFormat& outputFormat) {
  CheckNativeFormat(header);
  ResizeBuffers(native_.FrameSize());
  screenImage_.Zero();
  const PlaneLayout announced{static_cast<std::uint32_t>(header.width),
                              static_cast<std::uint32_t>(header.height), header.bitCount};
  // The same true-colour format again only clears the screen: the planes stay, so the deltas
  // that follow may still swap back to them. Palette formats always reload.
  if (announced == native_ && header.clrImportant == nativeColorsImportant_ &&
      masks == nativeMasks_ && header.bitCount > 8) {
    return;
  }
  native_ = announced;
  nativeColorsImportant_ = header.clrImportant;
  nativeMasks_ = masks;

  BitmapInfoHeader output = outputFormat.Header();
  output.bitCount = WrittenBitCount(native_.bitCount);
  output.compression = kCompressionRgb;
  if (native_.bitCount <= 8) {
    output.clrUsed = CopyAnnouncedColorTable(payload, header, outputFormat);
  }
  if (output.bitCount == 16) {
    output.compression = header.compression;
    output.clrImportant = header.clrImportant;
  }
  SetImageSize(output);
  outputFormat.SetHeader(output);
  DescribeWrittenPixels(outputFormat);

  ResizeBuffers(std::uint64_t{native_.width} * native_.height * 4);
  screenImage_.Zero();
  currentPlane_.Zero();
  previousPlane_.Zero();
}

void CScreenStreamDecoder::KeepPlanesWithoutFormat(bool fullReset, const BitmapFormat& streamFormat,
                                                   BitmapFormat& outputFormat) {
  const auto size = static_cast<std::size_t>(native_.FrameSize());
  currentPlane_.Resize(size);
  previousPlane_.Resize(size);
  ResizeScratch(size);
  previousPlane_.Zero();
  if (fullReset) {
    screenImage_.Resize(size);
    screenImage_.Zero();
    currentPlane_.Zero();
    bufferSize_ = size;
  }

  // The stream's format comes back, colour table included, but the picture keeps its size and
  // the depth the decoder actually writes.
  const BitmapInfoHeader kept = outputFormat.Header();
  const BitmapInfoHeader stream = streamFormat.Header();
  const std::uint64_t tail =
      stream.compression == kCompressionBitFields
          ? 12
          : 4 * std::min<std::uint64_t>(stream.clrUsed, kMaxColorTableEntries);
  const auto length = static_cast<std::size_t>(std::clamp<std::uint64_t>(
      std::uint64_t{stream.size} + tail, kBitmapInfoHeaderSize, BitmapFormat::kCapacity));
  std::copy_n(streamFormat.Storage().begin(), length, outputFormat.Storage().begin());
  BitmapInfoHeader output = outputFormat.Header();
  output.width = kept.width;
  output.height = kept.height;
  output.bitCount = WrittenBitCount(native_.bitCount);
  output.compression = DecodesTo32Bits(native_.bitCount) ? kCompressionRgb : kept.compression;
  SetImageSize(output);
  outputFormat.SetHeader(output);
  // The stream's masks or colour table may have landed where the current masks belong.
  DescribeWrittenPixels(outputFormat);
}

void CScreenStreamDecoder::DecodeKeyImage(std::span<const std::uint8_t> payload,
                                          const BitmapFormat& streamFormat,
                                          BitmapFormat& outputFormat) {
  std::uint64_t imageOffset = 0;
  if (const auto header = AnnouncedFormat(payload)) {
    imageOffset =
        kEmbeddedHeaderOffset + std::uint64_t{header->size} + 4 * std::uint64_t{header->clrUsed};
    ResetFormat(payload, imageOffset, true, streamFormat, outputFormat);
  }
  if (currentPlane_.empty() || previousPlane_.empty()) {
    return;
  }
  // Every byte of the three is written below, so none is cleared first.
  const auto size = static_cast<std::size_t>(native_.FrameSize());
  screenImage_.ResizeForOverwrite(size);
  currentPlane_.ResizeForOverwrite(size);
  previousPlane_.ResizeForOverwrite(size);
  // The stream holds the current picture, then the one it replaced; a short stream leaves zeros.
  inflater_.Begin(payload.subspan(
      static_cast<std::size_t>(std::min<std::uint64_t>(imageOffset, payload.size()))));
  InflateWholePlane(currentPlane_.span());
  InflateWholePlane(previousPlane_.span());
  std::copy_n(currentPlane_.data(), size, screenImage_.data());
}

void CScreenStreamDecoder::InflateWholePlane(std::span<std::uint8_t> plane) {
  const std::size_t inflated = inflater_.ReadInto(plane);
  std::fill(plane.begin() + static_cast<std::ptrdiff_t>(inflated), plane.end(), std::uint8_t{0});
}

void CScreenStreamDecoder::DecodeDelta(std::span<const std::uint8_t> payload) {
  if (payload.size() < kDeltaHeaderSize || scratch_.empty() || currentPlane_.empty() ||
      previousPlane_.empty()) {
    return;
  }
  const std::uint32_t compressedLength = LoadU32LE(payload.data() + kDeltaCompressedLength);
  const std::uint32_t streamLength = LoadU32LE(payload.data() + kDeltaStreamLength);
  const DeltaRectangle rectangle{
      LoadI32LE(payload.data() + kDeltaLeft), LoadI32LE(payload.data() + kDeltaTop),
      LoadI32LE(payload.data() + kDeltaWidth), LoadI32LE(payload.data() + kDeltaHeight)};
  const auto method = static_cast<Compression>(LoadU32LE(payload.data() + kDeltaMethod));
  const auto data = payload.subspan(kDeltaHeaderSize);
  const auto room = scratch_.span();
  const std::uint32_t carried = method == Compression::Stored ? streamLength : compressedLength;
  const std::size_t produced = DecompressInto(
      method, data.first(std::min<std::size_t>(carried, data.size())), room, inflater_);
  // Only what this packet produced is decoded: older bytes left in the scratch buffer are not
  // part of its stream.
  const auto opcodes = room.first(std::min<std::size_t>(streamLength, produced));
  DecodeDeltaRectangle(
      {screenImage_.span(), currentPlane_.span(), previousPlane_.span(), bufferSize_}, opcodes,
      rectangle, native_);
}

void CScreenStreamDecoder::ApplyMoves(std::span<const std::uint8_t> payload) {
  ApplyScreenMoves(payload, native_,
                   {currentPlane_.span(), previousPlane_.span(), screenImage_.span()},
                   scratch_.span(), inflater_);
}

void CScreenStreamDecoder::ResizeBuffers(std::uint64_t size) {
  const auto bytes = static_cast<std::size_t>(size);
  currentPlane_.Resize(bytes);
  previousPlane_.Resize(bytes);
  ResizeScratch(size);
  screenImage_.Resize(bytes);
  bufferSize_ = size;
}

void CScreenStreamDecoder::ResizeScratch(std::uint64_t planeSize) {
  // A delta that rewrites the whole picture in literals is longer than the picture: cut to the
  // picture's size, its last rows would be lost (or, with LZF, which refuses to overflow, all of
  // it).
  scratch_.Resize(static_cast<std::size_t>(std::max(planeSize, LongestWholePictureDelta(native_))));
}

void CScreenStreamDecoder::ReleaseAndReset() {
  currentPlane_.Release();
  previousPlane_.Release();
  scratch_.Release();
  screenImage_.Release();
  bufferSize_ = 0;
  cursor_.Reset();
  initialized_ = false;
}

}  // namespace reelkit
