#pragma once

#include <cstdint>

#include "common/fourcc.h"

namespace reelkit {

// The packet kinds of the screen stream. Kind 0 is any unknown FourCC and, when handed to the
// recorder, a decoded picture.
enum class PacketKind : std::uint32_t {
  None = 0,
  Fint = 1,  // format announcement with full reset
  Kfrm = 2,  // key image
  Init = 3,  // re-initialisation without format
  Dlta = 4,  // run-coded delta of a rectangle
  Mous = 5,  // cursor shape
  Mpos = 6,  // cursor position
  Move = 7,  // screen-to-screen moves, fills and saves
  Bndl = 8,  // bundle
  Kbnd = 9,  // key bundle
  Empt = 10, // empty spacer frame
  Samp = 11, // sample
};

inline constexpr std::uint32_t kPacketKindCount = 12;

// Kind 0 and kinds past 11 give the zero FourCC.
FourCC FourCCOfPacketKind(PacketKind kind);

PacketKind PacketKindOfFourCC(FourCC fourcc);

}  // namespace reelkit
