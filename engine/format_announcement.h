#pragma once

#include <cstdint>
#include <span>

#include "common/bitmap_format.h"
#include "common/byte_block.h"

namespace reelkit {

// A FINT sub-packet that announces the stream's bitmap format. Readers of pass-through files take
// the stream's format from the FINT that opens the first chunk, so every such file we write
// starts with one.
//
// Payload layout:
//   0   4  marker, 101 when a format follows
//   4  28  not read by decoders, written as zeros
//  32   …  the format block: 40-byte header, then masks or colour table
inline constexpr std::uint32_t kFormatMarker = 101;
inline constexpr std::size_t kAnnouncedFormatOffset = 32;

// The format block announced by the FINT that opens subPackets (a bundle without its packet
// FourCC), bounded by that FINT's payload; empty when the bundle does not open with a FINT that
// announces a whole header.
std::span<const std::uint8_t> AnnouncedFormatBlock(std::span<const std::uint8_t> subPackets);

// The format an announced block gives the stream: its header, with the colour table behind it as
// far as the block holds one (an announcement carries no colour masks). A format that describes
// no picture, one of 1 to kMaxPictureSide pixels each way at a bitmap depth, throws
// CReelkitException(ReadInputFailed, 13). The block holds at least a whole header.
BitmapFormat AnnouncedStreamFormat(std::span<const std::uint8_t> block);

// True when subPackets opens with a FINT, whatever its payload.
bool OpensWithFormatReset(std::span<const std::uint8_t> subPackets);

// Appends a FINT sub-packet that announces format.
void AppendFormatAnnouncement(ByteBlock& subPackets, const BitmapFormat& format);

}  // namespace reelkit
