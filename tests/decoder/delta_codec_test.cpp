#include "decoder/delta_codec.h"

#include <gtest/gtest.h>

#include <string>

#include "decoder/avi_exception.h"
#include "tests/decoder/decoder_test_support.h"

namespace reelkit {
namespace {

using testing::Bytes;

// Three planes of an 8 x 4 picture at 8 bits (stride 8): current holds k, previous 100 + k, the
// screen 0xEE, so every write shows where it came from.
struct Planes {
  explicit Planes(PlaneLayout planeLayout = {8, 4, 8})
      : layout(planeLayout),
        screen(layout.FrameSize(), 0xEE),
        current(testing::PatternImage(layout.FrameSize(), 0)),
        previous(testing::PatternImage(layout.FrameSize(), 100)) {}

  std::uint32_t Decode(const Bytes& opcodes, DeltaRectangle rect) {
    return DecodeDeltaRectangle({screen, current, previous, layout.FrameSize()}, opcodes, rect,
                                layout);
  }

  PlaneLayout layout;
  Bytes screen;
  Bytes current;
  Bytes previous;
};

// Byte ranges [18, 22) of the planes: the 4-pixel rectangle at x 2 in screen row 1.
constexpr DeltaRectangle kOneRow{2, 1, 4, 1};
constexpr std::size_t kRowStart = 18;

struct OpcodeCase {
  const char* name;
  Bytes opcodes;
  Bytes screen;    // bytes 18..21 after the run
  Bytes current;   // bytes 18..21
  Bytes previous;  // bytes 18..21
};

void PrintTo(const OpcodeCase& c, std::ostream* os) {
  *os << c.name;
}

class DeltaOpcode : public ::testing::TestWithParam<OpcodeCase> {};

TEST_P(DeltaOpcode, WritesItsUnitsAtTheRowPosition) {
  const OpcodeCase& c = GetParam();
  Planes planes;
  const Bytes untouchedCurrent = planes.current;
  EXPECT_EQ(planes.Decode(c.opcodes, kOneRow), 1u);
  const auto slice = [](const Bytes& bytes) {
    return Bytes(bytes.begin() + kRowStart, bytes.begin() + kRowStart + 4);
  };
  EXPECT_EQ(slice(planes.screen), c.screen);
  EXPECT_EQ(slice(planes.current), c.current);
  EXPECT_EQ(slice(planes.previous), c.previous);
  // Nothing outside the rectangle moves.
  for (std::size_t k = 0; k < planes.screen.size(); ++k) {
    if (k < kRowStart || k >= kRowStart + 4) {
      EXPECT_EQ(planes.screen[k], 0xEE) << k;
      EXPECT_EQ(planes.current[k], untouchedCurrent[k]) << k;
    }
  }
}

const Bytes kCur{18, 19, 20, 21};
const Bytes kPrev{118, 119, 120, 121};
const Bytes kBlank{0xEE, 0xEE, 0xEE, 0xEE};

INSTANTIATE_TEST_SUITE_P(
    EachOpcode, DeltaOpcode,
    ::testing::Values(
        OpcodeCase{"ShowBytes", {1, 4}, kCur, kCur, kPrev},
        OpcodeCase{"SwapBytes", {2, 4}, kPrev, kPrev, kCur},
        OpcodeCase{"LiteralBytes", {3, 4, 1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}, kCur},
        OpcodeCase{"FillByte", {4, 4, 9}, {9, 9, 9, 9}, {9, 9, 9, 9}, kCur},
        OpcodeCase{"Fill16WritesNothing", {5, 2, 7, 7}, kBlank, kCur, kPrev},
        OpcodeCase{"Fill24WritesNothing", {6, 2, 7, 7, 7}, kBlank, kCur, kPrev},
        OpcodeCase{"Fill32KeepsByteOrder", {7, 1, 1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}, kCur},
        OpcodeCase{"ShowWords", {10, 1}, kCur, kCur, kPrev},
        OpcodeCase{"SwapWords", {12, 1}, kPrev, kPrev, kCur},
        OpcodeCase{"LiteralWords", {13, 1, 5, 6, 7, 8}, {5, 6, 7, 8}, {5, 6, 7, 8}, kCur},
        OpcodeCase{"UnknownOpcodeOnlyCounts", {9, 4}, kBlank, kCur, kPrev},
        OpcodeCase{"RunsFollowOneAnother",
                   {1, 1, 4, 2, 9, 3, 1, 5},
                   {18, 9, 9, 5},
                   {18, 9, 9, 5},
                   {118, 19, 20, 21}},
        OpcodeCase{"Fill16DoesNotMoveThePosition",
                   {5, 1, 7, 7, 4, 2, 9},
                   {9, 9, 0xEE, 0xEE},
                   {9, 9, 20, 21},
                   {18, 19, 120, 121}},
        OpcodeCase{"UnknownOpcodeDoesNotMoveThePosition",
                   {0, 2, 4, 2, 9},
                   {9, 9, 0xEE, 0xEE},
                   {9, 9, 20, 21},
                   {18, 19, 120, 121}},
        OpcodeCase{"EmptyRunsAreLegal", {1, 0, 1, 0, 1, 4}, kCur, kCur, kPrev}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(DeltaCodec, RowsRunBottomUpWithTheStridePassingBetweenThem) {
  Planes planes;
  // Screen rows 1 and 2 of columns 2..5: screen row 2 is stored row 1 (offset 10) and comes
  // first, then screen row 1, stored row 2 (offset 18).
  EXPECT_EQ(planes.Decode({4, 4, 0xA1, 4, 4, 0xA2}, {2, 1, 4, 2}), 2u);
  EXPECT_EQ(planes.screen[10], 0xA1);
  EXPECT_EQ(planes.screen[13], 0xA1);
  EXPECT_EQ(planes.screen[14], 0xEE);
  EXPECT_EQ(planes.screen[18], 0xA2);
  EXPECT_EQ(planes.screen[21], 0xA2);
  EXPECT_EQ(planes.screen[22], 0xEE);
}

TEST(DeltaCodec, SwappingTwiceRestoresTheFirstState) {
  Planes planes;
  const Bytes current = planes.current;
  const Bytes previous = planes.previous;
  const DeltaRectangle whole{0, 0, 8, 4};
  const Bytes swapAll{12, 2, 12, 2, 12, 2, 12, 2};
  planes.Decode(swapAll, whole);
  EXPECT_EQ(planes.current, previous);
  EXPECT_EQ(planes.screen, previous);
  planes.Decode(swapAll, whole);
  EXPECT_EQ(planes.current, current);
  EXPECT_EQ(planes.previous, previous);
  EXPECT_EQ(planes.screen, current);
}

TEST(DeltaCodec, RunPassingThePlaneEndIsCutThere) {
  Planes planes;
  // The last two pixels of the top screen row, stored last: offsets 30 and 31.
  EXPECT_EQ(planes.Decode({4, 255, 0x77}, {6, 0, 2, 1}), 1u);
  EXPECT_EQ(planes.current[30], 0x77);
  EXPECT_EQ(planes.current[31], 0x77);
  EXPECT_EQ(planes.screen[31], 0x77);
  EXPECT_EQ(planes.current.size(), 32u);
}

TEST(DeltaCodec, RunPassingTheScreenEndIsCutThere) {
  Planes planes;
  planes.screen.resize(31, 0xEE);
  planes.Decode({3, 2, 0x55, 0x66}, {6, 0, 2, 1});
  EXPECT_EQ(planes.screen[30], 0x55);
  EXPECT_EQ(planes.current[30], 0x55);
  // The run is cut where the first of its buffers ends, in all of them alike.
  EXPECT_EQ(planes.current[31], 31);
}

TEST(DeltaCodec, LiteralsMissingFromTheStreamEndTheRectangleUnwritten) {
  Planes planes;
  const Bytes current = planes.current;
  EXPECT_EQ(planes.Decode({3, 4, 1, 2, 3}, kOneRow), 0u);
  EXPECT_EQ(planes.current, current);
  EXPECT_EQ(planes.screen[kRowStart], 0xEE);
}

TEST(DeltaCodec, ValueMissingFromTheStreamEndsTheRectangle) {
  Planes planes;
  EXPECT_EQ(planes.Decode({7, 1, 1, 2, 3}, kOneRow), 0u);
  EXPECT_EQ(planes.screen[kRowStart], 0xEE);
}

TEST(DeltaCodec, UnfinishedRowLeavesTheRowsAboveAsTheyWere) {
  Planes planes;
  // Screen rows 1 to 3, stored rows 0 (offset 2), 1 (offset 10) and 2 (offset 18).
  EXPECT_EQ(planes.Decode({4, 4, 0xA1, 4, 2, 0xA2}, {2, 1, 4, 3}), 1u);
  EXPECT_EQ(planes.screen[2], 0xA1);
  EXPECT_EQ(planes.screen[10], 0xA2);  // the partial row keeps what was written
  EXPECT_EQ(planes.screen[12], 0xEE);
  EXPECT_EQ(planes.screen[18], 0xEE);  // the row above it is never reached
}

TEST(DeltaCodec, FourBitRectangleStartsAtTheByteOfItsLeftColumn) {
  Planes planes({10, 2, 4});  // stride 8
  // Column 5 lives in byte 2 with column 4; width 2 covers one byte.
  EXPECT_EQ(planes.Decode({4, 1, 0xAB}, {5, 0, 2, 1}), 1u);
  EXPECT_EQ(planes.screen[8 + 2], 0xAB);
  EXPECT_EQ(planes.screen[8 + 1], 0xEE);
  EXPECT_EQ(planes.screen[8 + 3], 0xEE);
}

TEST(DeltaCodec, RectangleWithoutRowsDoesNothing) {
  Planes planes;
  EXPECT_EQ(planes.Decode({4, 4, 1}, {0, 0, 4, 0}), 0u);
  EXPECT_EQ(planes.Decode({4, 4, 1}, {0, 0, 4, -3}), 0u);
  EXPECT_EQ(planes.screen, Bytes(32, 0xEE));
}

// A rectangle reaching above the picture whose rows only count (opcode 5) keeps the plane offset
// at 0 while the screen row start climbs a stride per row: the screen check alone then decides.
Bytes CountOnlyRows(int rows) {
  Bytes opcodes;
  for (int row = 0; row < rows; ++row) {
    opcodes.insert(opcodes.end(), {5, 4, 0, 0});
  }
  return opcodes;
}

TEST(DeltaCodec, RunStartingAtTheScreenEndIsNoError) {
  Planes planes;
  // Row 4 starts at screen offset 32, the buffer size.
  EXPECT_EQ(planes.Decode(CountOnlyRows(5), {0, -4, 8, 8}), 5u);
}

TEST(DeltaCodec, RunStartingPastTheScreenEndIsAnAccessViolation) {
  Planes planes;
  try {
    planes.Decode(CountOnlyRows(6), {0, -4, 8, 8});
    FAIL() << "no exception";
  } catch (const CAviException_AccessViolation& e) {
    EXPECT_EQ(e.Code(), 0xC0000005u);
  }
}

TEST(DeltaCodec, RunStartingOutsideThePlanesEndsQuietly) {
  Planes planes;
  // Starts one stored row below the picture.
  EXPECT_EQ(planes.Decode({4, 4, 1}, {0, 4, 4, 1}), 0u);
  EXPECT_EQ(planes.screen, Bytes(32, 0xEE));
}

TEST(DeltaCodec, PlanesLargerThanTheBufferSizeAreLeftAlone) {
  Planes planes;
  const DeltaPlanes shrunk{planes.screen, planes.current, planes.previous, 16};
  EXPECT_EQ(DecodeDeltaRectangle(shrunk, Bytes{4, 4, 1}, kOneRow, planes.layout), 0u);
  EXPECT_EQ(planes.screen, Bytes(32, 0xEE));
}

}  // namespace
}  // namespace reelkit
