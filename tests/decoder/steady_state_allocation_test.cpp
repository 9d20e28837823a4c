// A steady stream of bundles must not allocate: every buffer is sized by the first bundles and
// reused. Allocations are counted through a replaced global operator new, which is why this test
// has its own executable.

#include <gtest/gtest.h>

#include <string>

#include "decoder/screen_stream_decoder.h"
#include "tests/decoder/decoder_test_support.h"
#include "tests/testing/allocation_count.h"

namespace reelkit {
namespace {

using testing::Bundle;
using testing::Bytes;

class SteadyState : public ::testing::TestWithParam<testing::DepthCase> {};

TEST_P(SteadyState, BundlesAfterTheFirstAllocateNothing) {
  constexpr std::int32_t kWidth = 64;
  constexpr std::int32_t kHeight = 48;
  const std::uint16_t bits = GetParam().bits;
  const BitmapFormat stream = testing::MakeFormat(kWidth, kHeight, bits, bits == 8 ? 256 : 0);
  BitmapFormat output = stream;
  if (bits != 16 && bits != 32) {
    output.SetPictureFormat(32, kCompressionRgb);
  }
  Bytes frame(DibImageSize(kWidth, kHeight, 32));
  const std::size_t native = DibImageSize(kWidth, kHeight, bits);
  CScreenStreamDecoder decoder;
  decoder.Initialize(stream, output);

  const Bytes opcodes{13, 2, 1, 2, 3, 4, 5, 6, 7, 8, 12, 3, 7, 2, 9, 9, 9, 9};
  testing::MoveRecordFields copy{0, 0, 0, 20, 10};
  copy.sourceLeft = 3;
  copy.sourceTop = 4;
  testing::MoveRecordFields fill{1, 10, 10, 30, 20};
  fill.color = 0x00112233;
  Bundle steady;
  steady.Add("DLTA", testing::DeltaPayload(4, 4, 16, 4, opcodes, 0))
      .Add("DLTA", testing::DeltaPayload(8, 8, 16, 4, opcodes, 1))
      .Add("DLTA", testing::DeltaPayload(12, 12, 16, 4, opcodes, 2))
      .Add("MOVE", testing::MovePayload({copy, fill}, 1))
      .Add("MOUS", testing::CursorShapePayload(4, 4, 1, 1, Bytes(48, 0xFF)))
      .Add("MPOS", testing::CursorPositionPayload(30, 20));
  Bundle key("KBND");
  key.Add("KFRM", testing::KeyImagePayload(stream.Header(), Bytes(1024, 7),
                                           testing::PatternImage(native, 1),
                                           testing::PatternImage(native, 2)));

  // The first bundles size the buffers, which the count must see, heap and page storage alike.
  const testing::CAllocationCount sizing;
  decoder.DecodePacket(stream, output, key.Packet(), frame);
  decoder.DecodePacket(stream, output, steady.Packet(), frame);
  EXPECT_GT(sizing.Made(), 0u);
  const testing::CAllocationCount allocations;
  for (int k = 0; k < 20; ++k) {
    decoder.DecodePacket(stream, output, steady.Packet(), frame);
  }
  EXPECT_EQ(allocations.Made(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Depths, SteadyState, ::testing::ValuesIn(testing::kStreamDepths),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace reelkit
