#include "decoder/screen_moves.h"

#include <gtest/gtest.h>

#include <string>

#include "decoder/avi_exception.h"
#include "decoder/delta_codec.h"
#include "tests/decoder/decoder_test_support.h"

namespace reelkit {
namespace {

using testing::Bytes;
using testing::MoveRecordFields;

// The three native buffers of a small picture; current holds a pattern, the others zeros.
struct MoveBuffers {
  explicit MoveBuffers(PlaneLayout planeLayout)
      : layout(planeLayout),
        current(testing::PatternImage(layout.FrameSize(), 1)),
        previous(layout.FrameSize(), 0),
        screen(layout.FrameSize(), 0),
        scratch(layout.FrameSize() * 4, 0) {}

  void Apply(const Bytes& payload) {
    ApplyScreenMoves(payload, layout, {current, previous, screen}, scratch, inflater);
  }

  // Offset of pixel (x, y), y from the top.
  std::size_t At(int x, int y) const {
    return (layout.height - 1 - static_cast<std::size_t>(y)) * layout.Stride() +
           static_cast<std::size_t>(x) * layout.bitCount / 8;
  }

  PlaneLayout layout;
  Bytes current;
  Bytes previous;
  Bytes screen;
  Bytes scratch;
  CInflater inflater;
};

// What a copy gives when the source is first set aside: the reference for overlapping moves.
Bytes CopiedAside(const MoveBuffers& buffers, int left, int top, int right, int bottom,
                  int sourceLeft, int sourceTop) {
  const Bytes source = buffers.current;
  Bytes result = buffers.current;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      result[buffers.At(x, y)] = source[buffers.At(sourceLeft + (x - left), sourceTop + (y - top))];
    }
  }
  return result;
}

struct OverlapCase {
  const char* name;
  int dx, dy;  // source minus target
};

void PrintTo(const OverlapCase& c, std::ostream* os) {
  *os << c.name;
}

class OverlappingCopy : public ::testing::TestWithParam<OverlapCase> {};

TEST_P(OverlappingCopy, ComesOutAsIfTheSourceWereSetAside) {
  const OverlapCase& c = GetParam();
  MoveBuffers buffers({8, 8, 8});
  const int left = 2, top = 2, right = 6, bottom = 6;
  const Bytes expected = CopiedAside(buffers, left, top, right, bottom, left + c.dx, top + c.dy);
  MoveRecordFields record{0, left, top, right, bottom};
  record.sourceLeft = static_cast<std::int16_t>(left + c.dx);
  record.sourceTop = static_cast<std::int16_t>(top + c.dy);
  buffers.Apply(testing::MovePayload({record}));
  EXPECT_EQ(buffers.current, expected);
  // The rectangle reaches the screen image.
  EXPECT_EQ(buffers.screen[buffers.At(3, 3)], expected[buffers.At(3, 3)]);
  EXPECT_EQ(buffers.screen[buffers.At(0, 0)], 0);
}

INSTANTIATE_TEST_SUITE_P(Directions, OverlappingCopy,
                         ::testing::Values(OverlapCase{"OneRowDownOntoItself", 0, -1},
                                           OverlapCase{"OneRowUpOntoItself", 0, 1},
                                           OverlapCase{"OneColumnRight", -1, 0},
                                           OverlapCase{"OneColumnLeft", 1, 0},
                                           OverlapCase{"DiagonalDown", -1, -2},
                                           OverlapCase{"DiagonalUp", 2, 1}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(ScreenMoves, CopyIsClippedWithItsSourceToThePicture) {
  MoveBuffers buffers({8, 8, 8});
  // Target reaches past the right edge, source past the top edge.
  const Bytes expected = CopiedAside(buffers, 5, 1, 8, 4, 0, 0);
  MoveRecordFields record{0, 5, 0, 12, 4};
  record.sourceLeft = 0;
  record.sourceTop = -1;
  buffers.Apply(testing::MovePayload({record}));
  EXPECT_EQ(buffers.current, expected);
}

TEST(ScreenMoves, InvertedRectangleChangesNothing) {
  MoveBuffers buffers({8, 8, 8});
  const Bytes before = buffers.current;
  MoveRecordFields copy{0, 6, 6, 2, 2};
  MoveRecordFields fill{1, 6, 2, 2, 6};
  fill.color = 1;
  buffers.Apply(testing::MovePayload({copy, fill}));
  EXPECT_EQ(buffers.current, before);
  EXPECT_EQ(buffers.screen, Bytes(64, 0));
}

struct FillCase {
  const char* name;
  std::uint32_t bits;
  std::uint32_t color;
  Bytes pixel;  // the bytes of one filled pixel
};

void PrintTo(const FillCase& c, std::ostream* os) {
  *os << c.name;
}

class FillByDepth : public ::testing::TestWithParam<FillCase> {};

TEST_P(FillByDepth, WritesTheDepthsColour) {
  const FillCase& c = GetParam();
  MoveBuffers buffers({4, 4, c.bits});
  MoveRecordFields record{1, 2, 1, 4, 3};
  record.color = c.color;
  buffers.Apply(testing::MovePayload({record}));
  const std::size_t start = buffers.At(2, 1);
  EXPECT_EQ(Bytes(buffers.current.begin() + static_cast<std::ptrdiff_t>(start),
                  buffers.current.begin() + static_cast<std::ptrdiff_t>(start + c.pixel.size())),
            c.pixel);
  // The pixel left of the rectangle keeps its bytes.
  EXPECT_EQ(buffers.current[buffers.At(1, 1)], testing::PatternImage(64 * 4, 1)[buffers.At(1, 1)]);
}

INSTANTIATE_TEST_SUITE_P(
    Depths, FillByDepth,
    ::testing::Values(FillCase{"ThirtyTwoBits", 32, 0x11223344, {0x44, 0x33, 0x22, 0x11}},
                      FillCase{"SixteenBitsTakeTheLowHalf", 16, 0x11223344, {0x44, 0x33}},
                      FillCase{"EightBitsIndexZero", 8, 0x11223344, {0}},
                      FillCase{"TwentyFourBitsBlack", 24, 0x11223344, {0, 0, 0}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(ScreenMoves, FourBitFillOnAnOddLeftTakesTheWholeByte) {
  MoveBuffers buffers({8, 2, 4});  // stride 4
  MoveRecordFields record{1, 3, 0, 4, 1};
  record.color = 0xFF;
  buffers.Apply(testing::MovePayload({record}));
  // Column 3 shares byte 1 with column 2.
  EXPECT_EQ(buffers.current[4 + 1], 0);
  EXPECT_NE(buffers.current[4 + 0], 0);
  EXPECT_NE(buffers.current[4 + 2], 0);
}

struct LimitCase {
  const char* name;
  std::int16_t right, bottom;
  bool throws;
};

void PrintTo(const LimitCase& c, std::ostream* os) {
  *os << c.name;
}

class EdgeLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(EdgeLimit, RefusesEdgesPastThirtyThousand) {
  const LimitCase& c = GetParam();
  MoveBuffers buffers({4, 4, 8});
  // An empty fill: only the edge counts.
  MoveRecordFields record{1, c.right, c.bottom, c.right, c.bottom};
  const Bytes payload = testing::MovePayload({record});
  if (c.throws) {
    try {
      buffers.Apply(payload);
      FAIL() << "no exception";
    } catch (const CAviException_ArrayBoundsExceeded& e) {
      EXPECT_EQ(e.Code(), 0xC000008Cu);
    }
  } else {
    EXPECT_NO_THROW(buffers.Apply(payload));
  }
}

INSTANTIATE_TEST_SUITE_P(Edges, EdgeLimit,
                         ::testing::Values(LimitCase{"RightAtTheLimit", 30000, 0, false},
                                           LimitCase{"RightPastTheLimit", 30001, 0, true},
                                           LimitCase{"BottomAtTheLimit", 0, 30000, false},
                                           LimitCase{"BottomPastTheLimit", 0, 30001, true}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(ScreenMoves, RecordsBeforeTheFailingOneStayButTheScreenIsNotUpdated) {
  MoveBuffers buffers({4, 4, 8});
  MoveRecordFields fill{1, 0, 0, 2, 2};
  fill.color = 1;
  MoveRecordFields tooFar{1, 0, 0, 30001, 1};
  EXPECT_THROW(buffers.Apply(testing::MovePayload({fill, tooFar})),
               CAviException_ArrayBoundsExceeded);
  EXPECT_EQ(buffers.current[buffers.At(0, 0)], 0);
  EXPECT_EQ(buffers.screen, Bytes(16, 0));
}

TEST(ScreenMoves, UnknownKindIsInvalidDataBeforeAnythingChanges) {
  MoveBuffers buffers({4, 4, 8});
  const Bytes before = buffers.current;
  MoveRecordFields record{3, 0, 0, 4, 4};
  EXPECT_THROW(buffers.Apply(testing::MovePayload({record})), CAviException_InvalidData);
  EXPECT_EQ(buffers.current, before);
  EXPECT_EQ(buffers.screen, Bytes(16, 0));
}

TEST(ScreenMoves, CountBeyondTheRecordsReadsOnlyWholeRecords) {
  MoveBuffers buffers({4, 4, 8});
  MoveRecordFields fill{1, 0, 0, 1, 1};
  fill.color = 1;
  buffers.Apply(testing::MovePayload({fill}, 0, 1000));
  EXPECT_EQ(buffers.current[buffers.At(0, 0)], 0);
  // A count of zero applies nothing.
  MoveBuffers untouched({4, 4, 8});
  const Bytes before = untouched.current;
  untouched.Apply(testing::MovePayload({fill}, 0, 0));
  EXPECT_EQ(untouched.current, before);
  EXPECT_EQ(untouched.screen, Bytes(16, 0));
}

TEST(ScreenMoves, CompressedRecordsActAsStoredOnes) {
  MoveRecordFields copy{0, 0, 0, 2, 2};
  copy.sourceLeft = 2;
  copy.sourceTop = 2;
  MoveBuffers stored({4, 4, 8});
  stored.Apply(testing::MovePayload({copy}, 0));
  for (const std::uint32_t method : {1u, 2u}) {
    MoveBuffers packed({4, 4, 8});
    packed.Apply(testing::MovePayload({copy}, method));
    EXPECT_EQ(packed.current, stored.current) << method;
    EXPECT_EQ(packed.screen, stored.screen) << method;
  }
}

TEST(ScreenMoves, UnknownMethodHasNoRecords) {
  MoveBuffers buffers({4, 4, 8});
  const Bytes before = buffers.current;
  MoveRecordFields fill{1, 0, 0, 4, 4};
  fill.color = 1;
  buffers.Apply(testing::MovePayload({fill}, 7));
  EXPECT_EQ(buffers.current, before);
}

TEST(ScreenMoves, DirtyRectangleAloneReachesTheScreen) {
  MoveBuffers buffers({4, 4, 8});
  MoveRecordFields save{2, 1, 1, 3, 2};
  buffers.Apply(testing::MovePayload({save}));
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const bool inside = x >= 1 && x < 3 && y == 1;
      EXPECT_EQ(buffers.screen[buffers.At(x, y)], inside ? buffers.current[buffers.At(x, y)] : 0);
    }
  }
}

TEST(ScreenMoves, SavedRectangleComesBackWithASwapRun) {
  MoveBuffers buffers({4, 4, 8});
  const Bytes original = buffers.current;
  MoveRecordFields save{2, 0, 0, 4, 1};
  MoveRecordFields fill{1, 0, 0, 4, 1};
  fill.color = 1;
  buffers.Apply(testing::MovePayload({save, fill}));
  EXPECT_EQ(buffers.current[buffers.At(2, 0)], 0);
  const DeltaPlanes planes{buffers.screen, buffers.current, buffers.previous, 16};
  DecodeDeltaRectangle(planes, Bytes{2, 4}, {0, 0, 4, 1}, buffers.layout);
  EXPECT_EQ(buffers.current, original);
}

TEST(ScreenMoves, EmptyPlanesTakeNoRecordsButStillCheckThem) {
  const PlaneLayout layout{4, 4, 8};
  CInflater inflater;
  MoveRecordFields record{3, 0, 0, 1, 1};
  EXPECT_THROW(ApplyScreenMoves(testing::MovePayload({record}), layout, {}, {}, inflater),
               CAviException_InvalidData);
  MoveRecordFields fill{1, 0, 0, 1, 1};
  EXPECT_NO_THROW(ApplyScreenMoves(testing::MovePayload({fill}), layout, {}, {}, inflater));
}

}  // namespace
}  // namespace reelkit
