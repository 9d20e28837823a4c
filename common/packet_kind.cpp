#include "common/packet_kind.h"

#include <array>

namespace reelkit {
namespace {

constexpr std::array<FourCC, kPacketKindCount> kFourCCByKind = {
    0,
    MakeFourCC('F', 'I', 'N', 'T'),
    MakeFourCC('K', 'F', 'R', 'M'),
    MakeFourCC('I', 'N', 'I', 'T'),
    MakeFourCC('D', 'L', 'T', 'A'),
    MakeFourCC('M', 'O', 'U', 'S'),
    MakeFourCC('M', 'P', 'O', 'S'),
    MakeFourCC('M', 'O', 'V', 'E'),
    MakeFourCC('B', 'N', 'D', 'L'),
    MakeFourCC('K', 'B', 'N', 'D'),
    MakeFourCC('E', 'M', 'P', 'T'),
    MakeFourCC('S', 'A', 'M', 'P'),
};

}  // namespace

FourCC FourCCOfPacketKind(PacketKind kind) {
  const auto index = static_cast<std::uint32_t>(kind);
  return index < kFourCCByKind.size() ? kFourCCByKind[index] : 0;
}

PacketKind PacketKindOfFourCC(FourCC fourcc) {
  for (std::uint32_t index = 1; index < kFourCCByKind.size(); ++index) {
    if (kFourCCByKind[index] == fourcc) {
      return static_cast<PacketKind>(index);
    }
  }
  return PacketKind::None;
}

}  // namespace reelkit
