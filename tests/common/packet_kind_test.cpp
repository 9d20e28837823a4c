#include "common/packet_kind.h"

#include <gtest/gtest.h>

#include "common/fourcc.h"

namespace reelkit {
namespace {

TEST(PacketKind, MapsEveryKindBothWays) {
  const char* names[] = {"FINT", "KFRM", "INIT", "DLTA", "MOUS", "MPOS",
                         "MOVE", "BNDL", "KBND", "EMPT", "SAMP"};
  for (std::uint32_t kind = 1; kind <= 11; ++kind) {
    const FourCC fourcc = FourCCFromText(names[kind - 1]);
    EXPECT_EQ(FourCCOfPacketKind(static_cast<PacketKind>(kind)), fourcc) << names[kind - 1];
    EXPECT_EQ(PacketKindOfFourCC(fourcc), static_cast<PacketKind>(kind)) << names[kind - 1];
  }
}

TEST(PacketKind, UnknownValuesMapToZero) {
  EXPECT_EQ(PacketKindOfFourCC(FourCCFromText("fint")), PacketKind::None);
  EXPECT_EQ(PacketKindOfFourCC(0), PacketKind::None);
  EXPECT_EQ(FourCCOfPacketKind(PacketKind::None), 0u);
  EXPECT_EQ(FourCCOfPacketKind(static_cast<PacketKind>(12)), 0u);
  EXPECT_EQ(FourCCOfPacketKind(static_cast<PacketKind>(0xFFFFFFFF)), 0u);
}

TEST(FourCC, FirstLetterIsTheLowestByte) {
  EXPECT_EQ(kFourCCScreenCodec, 0x43535156u);
  EXPECT_EQ(FourCCToText(kFourCCMicrosoftRle), "mrle");
}

}  // namespace
}  // namespace reelkit
