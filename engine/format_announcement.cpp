#include "engine/format_announcement.h"

#include <algorithm>
#include <array>

#include "common/byte_reader.h"
#include "common/conversion_failure.h"
#include "common/error_codes.h"
#include "common/packet_kind.h"
#include "engine/raw_recording_reader.h"

namespace reelkit {
namespace {

// What the decoders of the stream accept, and no more than a picture can be.
bool DescribesAPicture(const BitmapInfoHeader& header) {
  const bool widthOk = header.width >= 1 && header.width <= kMaxPictureSide;
  const bool heightOk = header.height >= 1 && header.height <= kMaxPictureSide;
  const std::uint16_t depth = header.bitCount;
  const bool depthOk = IsBitmapDepth(depth);
  return widthOk && heightOk && depthOk &&
         DibImageSize(header.width, header.height, 32) <= kMaxPictureBytes;
}

}  // namespace

BitmapFormat AnnouncedStreamFormat(std::span<const std::uint8_t> block) {
  BitmapInfoHeader header = ReadBitmapInfoHeader(block.data());
  if (!DescribesAPicture(header)) {
    throw CReelkitException(ConvertErrorKind::ReadInputFailed,
                            FailureCode::Fixed(kErrorInvalidData));
  }
  const auto table = block.subspan(kBitmapInfoHeaderSize);
  header.size = kBitmapInfoHeaderSize;
  header.clrUsed = static_cast<std::uint32_t>(
      std::min<std::size_t>({header.clrUsed, kMaxColorTableEntries, table.size() / 4}));
  BitmapFormat format(header);
  std::copy_n(table.begin(), 4 * header.clrUsed, format.ColorTable().begin());
  return format;
}

bool OpensWithFormatReset(std::span<const std::uint8_t> subPackets) {
  ByteReader reader(subPackets);
  return reader.ReadU32() == FourCCOfPacketKind(PacketKind::Fint);
}

std::span<const std::uint8_t> AnnouncedFormatBlock(std::span<const std::uint8_t> subPackets) {
  ByteReader reader(subPackets);
  if (reader.ReadU32() != FourCCOfPacketKind(PacketKind::Fint)) {
    return {};
  }
  const auto size = reader.ReadU32();
  const auto payload = size ? reader.Take(*size) : std::nullopt;
  if (!payload || payload->size() < kAnnouncedFormatOffset + kBitmapInfoHeaderSize ||
      ByteReader(*payload).ReadU32() != kFormatMarker) {
    return {};
  }
  return payload->subspan(kAnnouncedFormatOffset);
}

void AppendFormatAnnouncement(ByteBlock& subPackets, const BitmapFormat& format) {
  const std::span<const std::uint8_t> block = format.Bytes();
  subPackets.AppendU32LE(FourCCOfPacketKind(PacketKind::Fint));
  subPackets.AppendU32LE(static_cast<std::uint32_t>(kAnnouncedFormatOffset + block.size()));
  subPackets.AppendU32LE(kFormatMarker);
  subPackets.Append(std::array<std::uint8_t, kAnnouncedFormatOffset - 4>{});
  subPackets.Append(block);
}

}  // namespace reelkit
