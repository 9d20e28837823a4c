#include "decoder/screen_stream_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "decoder/avi_exception.h"
#include "tests/decoder/decoder_test_support.h"

namespace reelkit {
namespace {

using testing::Bundle;
using testing::Bytes;

// The output format a conversion job derives: 32 bits for 4-, 8- and 24-bit streams (colour table
// kept behind the header), the stream's own format otherwise.
BitmapFormat OutputFormatFor(const BitmapFormat& stream) {
  BitmapFormat output = stream;
  const std::uint16_t bits = stream.Header().bitCount;
  if (bits == 4 || bits == 8 || bits == 24) {
    BitmapInfoHeader header = output.Header();
    header.bitCount = 32;
    header.compression = kCompressionRgb;
    header.sizeImage = static_cast<std::uint32_t>(DibImageSize(header));
    output.SetHeader(header);
  }
  return output;
}

// One decoder with the formats and the frame buffer a job gives it (32 bits per pixel at the
// output size).
struct Session {
  explicit Session(const BitmapFormat& streamFormat)
      : stream(streamFormat),
        output(OutputFormatFor(streamFormat)),
        frame(DibImageSize(stream.Header().width, stream.Header().height, 32), 0xCC) {
    decoder.Initialize(stream, output);
  }

  void Decode(const Bundle& bundle) { Decode(bundle.Packet()); }
  void Decode(const Bytes& packet) { decoder.DecodePacket(stream, output, packet, frame); }
  Bytes Screen() const { return Bytes(decoder.ScreenImage().begin(), decoder.ScreenImage().end()); }
  // The picture the output format describes now.
  Bytes Picture() const {
    return Bytes(frame.begin(),
                 frame.begin() + static_cast<std::ptrdiff_t>(DibImageSize(output.Header())));
  }

  BitmapFormat stream;
  BitmapFormat output;
  Bytes frame;
  CScreenStreamDecoder decoder;
};

BitmapInfoHeader HeaderOf(const BitmapFormat& format) {
  return format.Header();
}

Bytes ColorTableBytes(const BitmapFormat& format, std::size_t entries) {
  return Bytes(format.ColorTable().begin(),
               format.ColorTable().begin() + static_cast<std::ptrdiff_t>(4 * entries));
}

// A key bundle announcing the session's own format with images current and previous.
Bundle KeyBundle(const Session& session, const Bytes& current, const Bytes& previous) {
  const BitmapInfoHeader header = HeaderOf(session.stream);
  Bundle bundle("KBND");
  bundle.Add("KFRM",
             testing::KeyImagePayload(header, ColorTableBytes(session.stream, header.clrUsed),
                                      current, previous));
  return bundle;
}

constexpr std::size_t kFrame32 = 4 * 4 * 3;  // a 4 x 3 picture at 32 bits

TEST(ScreenStreamDecoder, KeyImageWithItsFormatBecomesThePicture) {
  Session session(testing::MakeFormat(4, 3, 32));
  const Bytes image = testing::PatternImage(kFrame32, 1);
  session.Decode(KeyBundle(session, image, testing::PatternImage(kFrame32, 90)));
  EXPECT_EQ(session.Screen(), image);
  EXPECT_EQ(session.frame, image);
}

TEST(ScreenStreamDecoder, EightBitPicturesComeOutThroughTheColourTable) {
  Session session(testing::MakeFormat(4, 2, 8, 256));
  const Bytes image{0, 1, 2, 3, 250, 251, 252, 253};
  session.Decode(KeyBundle(session, image, Bytes(8, 0)));
  EXPECT_EQ(HeaderOf(session.output).bitCount, 32);
  const Bytes expected{0,   1,   2,   0, 1,   2,   3,   0, 2,   3,   4,   0, 3,   4,   5,   0,
                       250, 251, 252, 0, 251, 252, 253, 0, 252, 253, 254, 0, 253, 254, 255, 0};
  EXPECT_EQ(session.frame, expected);
}

TEST(ScreenStreamDecoder, TwentyFourBitPicturesGetAZeroFourthByte) {
  Session session(testing::MakeFormat(1, 2, 24));
  session.Decode(KeyBundle(session, {1, 2, 3, 0, 4, 5, 6, 0}, Bytes(8, 0)));
  EXPECT_EQ(session.frame, (Bytes{1, 2, 3, 0, 4, 5, 6, 0}));
}

// Red in the low byte, blue in the third: the picture comes out blue, green, red, 0 all the same,
// and the output format says so.
TEST(ScreenStreamDecoder, ThirtyTwoBitMasksInAnotherOrderComeOutInThePlainOrder) {
  BitmapInfoHeader header = testing::MakeHeader(1, 2, 32);
  header.compression = kCompressionBitFields;
  BitmapFormat stream(header);
  stream.SetMasks({0x000000FF, 0x0000FF00, 0x00FF0000});
  Session session(stream);
  session.Decode(KeyBundle(session, {1, 2, 3, 4, 5, 6, 7, 8}, Bytes(8, 0)));
  EXPECT_EQ(HeaderOf(session.output).compression, kCompressionRgb);
  EXPECT_EQ(session.frame, (Bytes{3, 2, 1, 0, 7, 6, 5, 0}));
}

// A switch to 16-bit bit fields takes the masks behind the header, 5-6-5 when there are none, and
// a later reset without a format (which copies the stream's colour table over them) keeps them.
TEST(ScreenStreamDecoder, SixteenBitFieldsGetTheirMasksAndKeepThem) {
  BitmapInfoHeader sixteen = testing::MakeHeader(4, 2, 16);
  sixteen.compression = kCompressionBitFields;
  const Bytes masks555{0x00, 0x7C, 0, 0, 0xE0, 0x03, 0, 0, 0x1F, 0, 0, 0};
  for (const auto& [carried, expected] : {std::pair(Bytes{}, kMasks565), {masks555, kMasks555}}) {
    Session session(testing::MakeFormat(4, 2, 8, 256));
    session.Decode(Bundle().Add("FINT", testing::FormatPayload(sixteen, carried)));
    EXPECT_EQ(session.output.Masks(), expected);
    session.Decode(Bundle().Add("INIT", {}));
    EXPECT_EQ(session.output.Masks(), expected);
  }
}

// Opcodes showing (opcode 10) the current plane over a whole 4 x 3 picture at 32 bits.
Bytes ShowAllRows() {
  return {10, 4, 10, 4, 10, 4};
}

TEST(ScreenStreamDecoder, SubPacketFourCCOfZeroEndsTheWalk) {
  Session session(testing::MakeFormat(4, 3, 32));
  const Bytes image = testing::PatternImage(kFrame32, 1);
  Bundle bundle = KeyBundle(session, image, image);
  bundle.AddRaw({0, 0, 0, 0}).Add("DLTA", testing::DeltaPayload(0, 0, 4, 1, {7, 4, 9, 9, 9, 9}));
  session.Decode(bundle);
  EXPECT_EQ(session.Screen(), image);
}

TEST(ScreenStreamDecoder, SubPacketPassingThePacketEndEndsTheWalkAfterTheOnesBefore) {
  Session session(testing::MakeFormat(4, 3, 32));
  const Bytes image = testing::PatternImage(kFrame32, 1);
  Bundle bundle = KeyBundle(session, image, image);
  const Bytes fill = testing::DeltaPayload(0, 0, 4, 1, {7, 4, 9, 9, 9, 9});
  bundle.AddDeclared("DLTA", static_cast<std::uint32_t>(fill.size() + 1), fill);
  session.Decode(bundle);
  EXPECT_EQ(session.Screen(), image);
}

TEST(ScreenStreamDecoder, OtherPacketsOnlyRedrawTheCursorAndReconvert) {
  Session session(testing::MakeFormat(4, 2, 8, 256));
  Bundle bundle = KeyBundle(session, testing::PatternImage(8, 3), Bytes(8, 0));
  bundle.Add("MOUS", testing::CursorShapePayload(1, 1, 0, 0, {0, 0, 0}))
      .Add("MPOS", testing::CursorPositionPayload(1, 1));
  session.Decode(bundle);
  const Bytes picture = session.frame;
  std::fill(session.frame.begin(), session.frame.end(), std::uint8_t{0xCC});
  session.Decode(Bundle("EMPT").Add("DLTA", testing::DeltaPayload(0, 0, 4, 1, {4, 4, 9})));
  EXPECT_EQ(session.frame, picture);
}

TEST(ScreenStreamDecoder, DeltaAndMoveBeforeAnyFormatChangeNothing) {
  Session session(testing::MakeFormat(4, 3, 32));
  testing::MoveRecordFields fill{1, 0, 0, 4, 3};
  fill.color = 5;
  session.Decode(Bundle()
                     .Add("DLTA", testing::DeltaPayload(0, 0, 4, 1, {7, 4, 9, 9, 9, 9}))
                     .Add("MOVE", testing::MovePayload({fill})));
  EXPECT_TRUE(session.Screen().empty());
  EXPECT_EQ(session.frame, Bytes(kFrame32, 0));
}

TEST(ScreenStreamDecoder, SameTrueColourFormatKeepsThePlanes) {
  Session session(testing::MakeFormat(4, 3, 32));
  const Bytes image = testing::PatternImage(kFrame32, 1);
  session.Decode(KeyBundle(session, image, testing::PatternImage(kFrame32, 7)));
  session.Decode(Bundle().Add("FINT", testing::FormatPayload(HeaderOf(session.stream))));
  EXPECT_EQ(session.Screen(), Bytes(kFrame32, 0));
  session.Decode(Bundle().Add("DLTA", testing::DeltaPayload(0, 0, 4, 3, ShowAllRows())));
  EXPECT_EQ(session.Screen(), image);
}

TEST(ScreenStreamDecoder, SamePaletteFormatReloadsAndClearsThePlanes) {
  Session session(testing::MakeFormat(4, 2, 8, 4));
  session.Decode(KeyBundle(session, testing::PatternImage(8, 1), testing::PatternImage(8, 7)));
  const BitmapInfoHeader header = HeaderOf(session.stream);
  session.Decode(Bundle().Add("FINT", testing::FormatPayload(header, Bytes(16, 0x40))));
  EXPECT_EQ(ColorTableBytes(session.output, 4), Bytes(16, 0x40));
  session.Decode(Bundle().Add("DLTA", testing::DeltaPayload(0, 0, 4, 2, {1, 4, 1, 4})));
  // The buffers are sized for 4 bytes a pixel after an announced format; all of them are zero.
  EXPECT_EQ(session.Screen(), Bytes(session.Screen().size(), 0));
  EXPECT_EQ(session.Picture(), Bytes(32, 0x40));  // index 0 of the reloaded table
}

TEST(ScreenStreamDecoder, NewSizeIsFittedIntoTheUnchangedOutputSize) {
  Session session(testing::MakeFormat(8, 8, 32));
  const Bytes small = testing::PatternImage(4 * 4 * 4, 1);
  session.Decode(Bundle("KBND")
                     .Add("FINT", testing::FormatPayload(testing::MakeHeader(4, 4, 32)))
                     .Add("KFRM", testing::KeyImagePayload(std::nullopt, {}, small, small)));
  EXPECT_EQ(HeaderOf(session.output).width, 8);
  EXPECT_EQ(HeaderOf(session.output).height, 8);
  // Centred: stored rows 2..5, columns 2..5.
  for (std::size_t row = 0; row < 8; ++row) {
    for (std::size_t column = 0; column < 8; ++column) {
      const std::size_t at = (row * 8 + column) * 4;
      const bool inside = row >= 2 && row < 6 && column >= 2 && column < 6;
      const std::uint8_t expected =
          inside ? small[((row - 2) * 4 + (column - 2)) * 4] : std::uint8_t{0};
      EXPECT_EQ(session.frame[at], expected) << row << ", " << column;
    }
  }
}

struct WithoutMarkerCase {
  const char* name;
  const char* fourcc;
};

void PrintTo(const WithoutMarkerCase& c, std::ostream* os) {
  *os << c.name;
}

class FormatWithoutMarker : public ::testing::TestWithParam<WithoutMarkerCase> {};

// After a FINT announced another palette, a format reset without one brings back the stream's
// colour table but keeps the output at its size and at the 32 bits the decoder writes.
TEST_P(FormatWithoutMarker, RestoresTheStreamTableAndKeepsTheOutputDepth) {
  Session session(testing::MakeFormat(4, 2, 8, 4));
  session.Decode(
      Bundle().Add("FINT", testing::FormatPayload(HeaderOf(session.stream), Bytes(16, 0x40))));
  session.Decode(Bundle().Add(GetParam().fourcc, Bytes(8, 0)));
  const BitmapInfoHeader output = HeaderOf(session.output);
  EXPECT_EQ(ColorTableBytes(session.output, 4), ColorTableBytes(session.stream, 4));
  EXPECT_EQ(output.clrUsed, 4u);
  EXPECT_EQ(output.bitCount, 32);
  EXPECT_EQ(output.compression, kCompressionRgb);
  EXPECT_EQ(output.width, 4);
  EXPECT_EQ(output.height, 2);
}

INSTANTIATE_TEST_SUITE_P(Kinds, FormatWithoutMarker,
                         ::testing::Values(WithoutMarkerCase{"Fint", "FINT"},
                                           WithoutMarkerCase{"Init", "INIT"}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

struct BadFormatCase {
  const char* name;
  std::int32_t width, height;
  std::uint16_t bits;
  bool accepted;
};

void PrintTo(const BadFormatCase& c, std::ostream* os) {
  *os << c.name;
}

class FormatCheck : public ::testing::TestWithParam<BadFormatCase> {};

TEST_P(FormatCheck, RefusesWhatTheDecoderCannotDraw) {
  const BadFormatCase& c = GetParam();
  const BitmapFormat stream(testing::MakeHeader(c.width, c.height, c.bits));
  BitmapFormat output = stream;
  CScreenStreamDecoder decoder;
  if (c.accepted) {
    EXPECT_NO_THROW(decoder.Initialize(stream, output));
    EXPECT_TRUE(decoder.IsInitialized());
    return;
  }
  try {
    decoder.Initialize(stream, output);
    FAIL() << "no exception";
  } catch (const CAviException_InvalidData& e) {
    EXPECT_EQ(e.Code(), 13u);
  }
  EXPECT_FALSE(decoder.IsInitialized());
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatCheck,
                         ::testing::Values(BadFormatCase{"WidthZero", 0, 10, 32, false},
                                           BadFormatCase{"WidthTooLarge", 65536, 10, 32, false},
                                           BadFormatCase{"TopDown", 10, -1, 32, false},
                                           BadFormatCase{"BitCountZero", 10, 10, 0, false},
                                           BadFormatCase{"BitCount33", 10, 10, 33, false},
                                           BadFormatCase{"OneBit", 10, 10, 1, false},
                                           BadFormatCase{"FifteenBits", 10, 10, 15, false},
                                           BadFormatCase{"TooManyPixels", 65535, 65535, 32, false},
                                           BadFormatCase{"WidestLine", 65535, 1, 32, true},
                                           BadFormatCase{"FourBits", 10, 10, 4, true}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(ScreenStreamDecoder, InitializeTwiceKeepsTheFirstFormat) {
  Session session(testing::MakeFormat(4, 3, 32));
  const BitmapFormat other = testing::MakeFormat(0, 0, 0);
  EXPECT_NO_THROW(session.decoder.Initialize(other, session.output));
  EXPECT_EQ(session.decoder.NativeLayout(), (PlaneLayout{4, 3, 32}));
}

TEST(ScreenStreamDecoder, BadAnnouncedFormatThrowsAfterTheReset) {
  Session session(testing::MakeFormat(4, 3, 32));
  session.Decode(KeyBundle(session, Bytes(kFrame32, 1), Bytes(kFrame32, 2)));
  EXPECT_THROW(
      session.Decode(Bundle().Add("FINT", testing::FormatPayload(testing::MakeHeader(4, 3, 2)))),
      CAviException_InvalidData);
  EXPECT_FALSE(session.decoder.IsInitialized());
  EXPECT_TRUE(session.Screen().empty());
  // A marked payload too short for its header is refused as well.
  Session truncated(testing::MakeFormat(4, 3, 32));
  Bytes shortHead = testing::FormatPayload(testing::MakeHeader(4, 3, 32));
  shortHead.resize(50);
  EXPECT_THROW(truncated.Decode(Bundle().Add("FINT", shortHead)), CAviException_InvalidData);
}

TEST(ScreenStreamDecoder, ExceptionResetsTheStateAndTheCursor) {
  Session session(testing::MakeFormat(4, 3, 32));
  Bundle first = KeyBundle(session, Bytes(kFrame32, 0x11), Bytes(kFrame32, 0x22));
  first.Add("MOUS", testing::CursorShapePayload(1, 1, 0, 0, {0, 0, 0}))
      .Add("MPOS", testing::CursorPositionPayload(0, 0));
  session.Decode(first);
  EXPECT_EQ(session.frame[2 * 16], 0);  // cursor at the top-left pixel, stored row 2

  testing::MoveRecordFields unknown{3, 0, 0, 1, 1};
  try {
    session.Decode(Bundle().Add("MOVE", testing::MovePayload({unknown})));
    FAIL() << "no exception";
  } catch (const CAviException& e) {
    EXPECT_EQ(e.Code(), 13u);
  }
  EXPECT_FALSE(session.decoder.IsInitialized());
  EXPECT_TRUE(session.Screen().empty());

  // Deltas find no planes now, and after a fresh start the cursor is gone.
  session.Decode(Bundle().Add("DLTA", testing::DeltaPayload(0, 0, 4, 3, ShowAllRows())));
  EXPECT_TRUE(session.Screen().empty());
  session.decoder.Initialize(session.stream, session.output);
  session.Decode(KeyBundle(session, Bytes(kFrame32, 0x11), Bytes(kFrame32, 0x22)));
  EXPECT_EQ(session.frame, Bytes(kFrame32, 0x11));
}

TEST(ScreenStreamDecoder, DeltaAccessViolationLeavesTheDecoderReset) {
  Session session(testing::MakeFormat(4, 3, 32));
  session.Decode(KeyBundle(session, Bytes(kFrame32, 1), Bytes(kFrame32, 2)));
  // Rows that only count keep the plane offset while the screen position climbs past the end.
  Bytes opcodes;
  for (int row = 0; row < 5; ++row) {
    opcodes.insert(opcodes.end(), {5, 8, 0, 0});
  }
  EXPECT_THROW(session.Decode(Bundle().Add("DLTA", testing::DeltaPayload(0, -3, 4, 6, opcodes))),
               CAviException_AccessViolation);
  EXPECT_FALSE(session.decoder.IsInitialized());
}

TEST(ScreenStreamDecoder, KeyImageThatInflatesShortLeavesZeros) {
  Session session(testing::MakeFormat(4, 3, 32));
  Bytes payload = testing::FormatPayload(HeaderOf(session.stream));
  const Bytes half = testing::Deflate(Bytes(kFrame32 / 2, 0x5A));
  payload.insert(payload.end(), half.begin(), half.end());
  session.Decode(Bundle().Add("KFRM", payload));
  Bytes expected(kFrame32, 0);
  std::fill_n(expected.begin(), kFrame32 / 2, 0x5A);
  EXPECT_EQ(session.Screen(), expected);
}

TEST(ScreenStreamDecoder, ColourTableCopyStopsAt256Entries) {
  Session session(testing::MakeFormat(4, 2, 8, 256));
  const BitmapInfoHeader announced = testing::MakeHeader(4, 2, 8, 1000);
  session.Decode(Bundle().Add("FINT", testing::FormatPayload(announced, Bytes(4000, 0x33))));
  EXPECT_EQ(HeaderOf(session.output).clrUsed, 256u);
  EXPECT_EQ(ColorTableBytes(session.output, 256), Bytes(1024, 0x33));
}

TEST(ScreenStreamDecoder, ShortFrameBufferBoundsEveryWrite) {
  Session session(testing::MakeFormat(4, 3, 8, 256));
  Bytes buffer(64, 0xCC);
  const Bytes image = testing::PatternImage(12, 1);
  Bundle bundle = KeyBundle(session, image, image);
  bundle.Add("MOUS", testing::CursorShapePayload(2, 2, 0, 0, Bytes(12, 0)))
      .Add("MPOS", testing::CursorPositionPayload(3, 2));
  session.decoder.DecodePacket(session.stream, session.output, bundle.Packet(),
                               std::span<std::uint8_t>(buffer).first(20));
  EXPECT_EQ(Bytes(buffer.begin() + 20, buffer.end()), Bytes(44, 0xCC));
  EXPECT_NE(Bytes(buffer.begin(), buffer.begin() + 16), Bytes(16, 0xCC));
}

TEST(ScreenStreamDecoder, DepthRaisedMidStreamKeepsTheWholePicture) {
  Session session(testing::MakeFormat(4, 3, 16));
  EXPECT_EQ(session.frame.size(), kFrame32);
  const Bytes image = testing::PatternImage(kFrame32, 9);
  session.Decode(Bundle("KBND").Add(
      "KFRM", testing::KeyImagePayload(testing::MakeHeader(4, 3, 32), {}, image, image)));
  EXPECT_EQ(HeaderOf(session.output).bitCount, 32);
  EXPECT_EQ(session.frame, image);
}

TEST(ScreenStreamDecoder, SwitchToAPaletteFormatConvertsFromThenOn) {
  Session session(testing::MakeFormat(2, 2, 32));
  session.Decode(KeyBundle(session, Bytes(16, 0x77), Bytes(16, 0)));
  Bytes table(8, 0);
  table[4] = 0x10;  // entry 1: blue 0x10
  session.Decode(
      Bundle("KBND").Add("KFRM", testing::KeyImagePayload(testing::MakeHeader(2, 2, 8, 2), table,
                                                          {1, 0, 0, 0, 0, 1, 0, 0}, Bytes(8, 0))));
  EXPECT_EQ(HeaderOf(session.output).bitCount, 32);
  EXPECT_EQ(HeaderOf(session.output).clrUsed, 2u);
  EXPECT_EQ(session.frame, (Bytes{0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0}));
}

TEST(ScreenStreamDecoder, MovesReachThePictureWithTheNextDelta) {
  Session session(testing::MakeFormat(4, 3, 32));
  session.Decode(KeyBundle(session, Bytes(kFrame32, 0x11), Bytes(kFrame32, 0x22)));
  testing::MoveRecordFields fill{1, 0, 0, 4, 3};
  fill.color = 0x01020304;
  session.Decode(Bundle().Add("MOVE", testing::MovePayload({fill})));
  EXPECT_EQ(session.frame, Bytes(kFrame32, 0x11));
  session.Decode(Bundle().Add("DLTA", testing::DeltaPayload(0, 0, 4, 0, {})));
  EXPECT_EQ(session.frame[0], 0x04);
  EXPECT_EQ(session.frame[kFrame32 - 1], 0x01);
}

TEST(ScreenStreamDecoder, PositionAloneMovesTheCursor) {
  Session session(testing::MakeFormat(4, 3, 32));
  Bundle first = KeyBundle(session, Bytes(kFrame32, 0x11), Bytes(kFrame32, 0x22));
  first.Add("MOUS", testing::CursorShapePayload(1, 1, 0, 0, {0xFF, 0xFF, 0xFF}))
      .Add("MPOS", testing::CursorPositionPayload(1, 1));
  session.Decode(first);
  const std::size_t oldPlace = (1 * 4 + 1) * 4;  // stored row 1, column 1
  const std::size_t newPlace = (0 * 4 + 3) * 4;  // screen (3, 2): stored row 0, column 3
  EXPECT_EQ(session.frame[oldPlace], 0xFF);
  session.Decode(Bundle().Add("MPOS", testing::CursorPositionPayload(3, 2)));
  EXPECT_EQ(session.frame[oldPlace], 0x11);
  EXPECT_EQ(session.frame[newPlace], 0xFF);
  Bytes expected(kFrame32, 0x11);
  std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(newPlace), 4, 0xFF);
  EXPECT_EQ(session.frame, expected);
}

TEST(ScreenStreamDecoder, CompressedDeltasDecodeLikeStoredOnes) {
  const Bytes opcodes{13, 2, 1, 2, 3, 4, 5, 6, 7, 8, 12, 2};
  Bytes reference;
  for (const std::uint32_t method : {0u, 1u, 2u}) {
    Session session(testing::MakeFormat(4, 3, 32));
    session.Decode(KeyBundle(session, Bytes(kFrame32, 0x11), Bytes(kFrame32, 0x22)));
    session.Decode(Bundle().Add("DLTA", testing::DeltaPayload(0, 1, 4, 1, opcodes, method)));
    if (method == 0) {
      reference = session.frame;
      EXPECT_EQ(reference[16], 1);
      EXPECT_EQ(reference[16 + 8], 0x22);
    } else {
      EXPECT_EQ(session.frame, reference) << method;
    }
  }
}

// Every byte literal: with its run heads the stream is longer than the picture.
TEST(ScreenStreamDecoder, WholePictureOfLiteralsAppliesWholeWithEveryMethod) {
  const Bytes image = testing::PatternImage(kFrame32, 5);
  Bytes opcodes;
  for (auto row = image.begin(); row != image.end(); row += 16) {
    opcodes.insert(opcodes.end(), {3, 16});
    opcodes.insert(opcodes.end(), row, row + 16);
  }
  for (const std::uint32_t method : {0u, 1u, 2u}) {
    Session session(testing::MakeFormat(4, 3, 32));
    session.Decode(KeyBundle(session, Bytes(kFrame32, 0), Bytes(kFrame32, 0)));
    session.Decode(Bundle().Add("DLTA", testing::DeltaPayload(0, 0, 4, 3, opcodes, method)));
    EXPECT_EQ(session.Screen(), image) << method;
  }
}

TEST(ScreenStreamDecoder, StaleScratchBytesAreNeverDecoded) {
  Session session(testing::MakeFormat(4, 3, 32));
  session.Decode(KeyBundle(session, Bytes(kFrame32, 0x11), Bytes(kFrame32, 0x22)));
  session.Decode(Bundle().Add("DLTA", testing::DeltaPayload(0, 0, 4, 1, {7, 4, 9, 9, 9, 9})));
  // Claims the same 6 stream bytes but carries only the first two.
  Bytes truncated = testing::DeltaPayload(0, 1, 4, 1, {7, 4, 9, 9, 9, 9});
  truncated.resize(truncated.size() - 4);
  session.Decode(Bundle().Add("DLTA", truncated));
  EXPECT_EQ(session.frame[16], 0x11);
}

}  // namespace
}  // namespace reelkit
