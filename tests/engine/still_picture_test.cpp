#include "engine/still_picture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "tests/engine/still_picture_sessions.h"
#include "tests/testing/temp_dir.h"
#include "tests/testing/waiting.h"

namespace reelkit {
namespace {

using recording::PixelLayout;
using testing::kPointerX;
using testing::kPointerY;
using testing::kShownQuadrants;
using testing::kStillHeight;
using testing::kStillWidth;
using testing::QuadrantColour;
using testing::RecordStillSession;
using testing::StillSession;
using testing::TempDir;

std::uint32_t PixelAt(const StillPicture& picture, int x, int y) {
  const std::uint8_t* p = picture.rgb.data() + (std::size_t(y) * picture.width + x) * 3;
  return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
}

// The budget the tests give a search when its time is not what they check: one that no run on a
// loaded machine reaches, so a slow run still shows what a quick one shows.
constexpr PictureBudget kUntimed{testing::kHangDeadline};

StillPicture Extract(const ByteBlock& recording, const PictureBudget& budget = kUntimed) {
  TempDir dir;
  StillPicture picture;
  const auto failure =
      ExtractStillPicture(dir.Write("in.rcrec", recording.span()), budget, picture);
  EXPECT_FALSE(failure.has_value()) << (failure ? static_cast<int>(failure->kind) : 0) << " "
                                    << (failure ? failure->code.value : 0);
  return picture;
}

struct DepthCase {
  const char* name;
  StillSession session;
};

void PrintTo(const DepthCase& row, std::ostream* out) {
  *out << row.name;
}

class StillPictureAtEveryDepth : public ::testing::TestWithParam<DepthCase> {};

// Started at the key image 1.5 s in, the search must show what decoding the whole recording
// shows: the format and the pointer set before the key image come from the records that set them.
TEST_P(StillPictureAtEveryDepth, ShowsTheMomentATenthInAsDecodingFromTheStartDoes) {
  StillSession keyed = GetParam().session;
  StillSession unkeyed = keyed;
  unkeyed.keyImageBeforeTheMoment = false;
  const StillPicture picture = Extract(RecordStillSession(keyed));
  ASSERT_EQ(picture.width, std::uint32_t{kStillWidth});
  ASSERT_EQ(picture.height, std::uint32_t{kStillHeight});
  EXPECT_EQ(picture.rgb, Extract(RecordStillSession(unkeyed)).rgb);
  for (const auto& [x, y] : {std::pair{80, 50}, {240, 50}, {80, 150}, {240, 150}}) {
    EXPECT_EQ(PixelAt(picture, x, y), QuadrantColour(kShownQuadrants, x, y)) << x << "," << y;
  }
  EXPECT_EQ(PixelAt(picture, 80, 100), 0xFFFFFFu) << "the bar drawn at 2.6 s";
  EXPECT_EQ(PixelAt(picture, kPointerX + 1, kPointerY + 6), 0xFFFFFFu) << "the pointer";
  EXPECT_EQ(PixelAt(picture, kPointerX + 7, kPointerY + 1), 0x000000u) << "beside the pointer";
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, StillPictureAtEveryDepth,
    ::testing::Values(
        DepthCase{"Indexed8", {PixelLayout::Indexed8, PixelLayout::Indexed8}},
        DepthCase{"Rgb555", {PixelLayout::Rgb555, PixelLayout::Rgb555}},
        DepthCase{"Rgb565", {PixelLayout::Rgb565, PixelLayout::Rgb565}},
        DepthCase{"Rgb24", {PixelLayout::Rgb24, PixelLayout::Rgb24}},
        DepthCase{"Rgb32", {PixelLayout::Rgb32, PixelLayout::Rgb32}},
        DepthCase{"Rgb32BitFields", {PixelLayout::Rgb32BitFields, PixelLayout::Rgb32BitFields}},
        DepthCase{"From32To565BeforeTheKeyImage", {PixelLayout::Rgb32, PixelLayout::Rgb565}},
        DepthCase{"From8To24BeforeTheKeyImage", {PixelLayout::Indexed8, PixelLayout::Rgb24}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(StillPicture, RecordingShorterThanTenSecondsShowsItsLastPicture) {
  using namespace recording;
  CRecordingWriter writer(MakeStreamFormat(64, 48, PixelLayout::Rgb32));
  const auto paint = [](std::uint32_t colour) {
    return PaintPicture(64, 48, PixelLayout::Rgb32, [colour](int, int) { return colour; });
  };
  writer.WriteInit(0, &writer.Model().NativeFormat());
  writer.WriteKeyFrame(0, paint(0x808080));
  writer.WriteDelta(testing::kSecond, paint(0xFF0000));
  writer.WriteDelta(9 * testing::kSecond, paint(0x0000FF));
  writer.Finish();
  EXPECT_EQ(PixelAt(Extract(writer.Bytes()), 10, 10), 0x0000FFu);
}

// The moment is 3 s in; the key image at 4 s is shown rather than the delta of 1 s decoded from
// the start, the one at 9 s is out of reach.
TEST(StillPicture, KeyImageSoonAfterTheMomentIsShownInstead) {
  using namespace recording;
  const auto paint = [](std::uint32_t colour) {
    return PaintPicture(64, 48, PixelLayout::Rgb32, [colour](int, int) { return colour; });
  };
  for (const Time key : {4 * testing::kSecond, 9 * testing::kSecond}) {
    CRecordingWriter writer(MakeStreamFormat(64, 48, PixelLayout::Rgb32));
    writer.WriteInit(0, &writer.Model().NativeFormat());
    writer.WriteKeyFrame(0, paint(0x808080));
    writer.WriteDelta(testing::kSecond, paint(0xFF0000));
    writer.WriteKeyFrame(key, paint(0x0000FF));
    writer.WriteDelta(key + testing::kSecond, paint(0x00FF00));
    writer.WriteDelta(30 * testing::kSecond, paint(0xFFFFFF));
    writer.Finish();
    EXPECT_EQ(PixelAt(Extract(writer.Bytes()), 10, 10),
              key == 4 * testing::kSecond ? 0x0000FFu : 0xFF0000u)
        << key;
  }
}

struct Refusal {
  const char* name;
  ByteBlock (*input)();
  PictureBudget budget;
  ConvertErrorKind kind;
  std::uint32_t code;
  InputLimit limit = InputLimit::None;
};

ByteBlock Session() {
  return RecordStillSession({});
}

// With its palette, long enough to be recognised.
ByteBlock HeaderOnly() {
  recording::CRecordingWriter writer(
      recording::MakeStreamFormat(kStillWidth, kStillHeight, PixelLayout::Indexed8));
  writer.Finish();
  return writer.Bytes();
}

ByteBlock Text() {
  const std::string line = "Notes from the call, long enough for detection to read all of it. ";
  ByteBlock text;
  for (int k = 0; k < 4; ++k) {
    text.Append({reinterpret_cast<const std::uint8_t*>(line.data()), line.size()});
  }
  return text;
}

// A screen of 320 x 200 that announces one of 2000 x 1000 pixels before its key image.
ByteBlock AnnouncingALargerScreen() {
  using namespace recording;
  CRecordingWriter writer(MakeStreamFormat(kStillWidth, kStillHeight, PixelLayout::Rgb32));
  writer.WriteInit(0, &writer.Model().NativeFormat());
  const BitmapFormat larger = MakeStreamFormat(2000, 1000, PixelLayout::Rgb32);
  writer.WriteFormat(1, &larger);
  writer.WriteKeyFrame(2,
                       PaintPicture(2000, 1000, PixelLayout::Rgb32, [](int, int) { return 0u; }));
  writer.Finish();
  return writer.Bytes();
}

void PrintTo(const Refusal& row, std::ostream* out) {
  *out << row.name;
}

class StillPictureRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(StillPictureRefusal, LeavesNoPictureAndSaysWhy) {
  const Refusal& row = GetParam();
  TempDir dir;
  StillPicture picture;
  const auto failure =
      ExtractStillPicture(dir.Write("in.bin", row.input().span()), row.budget, picture);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->kind, row.kind);
  EXPECT_EQ(failure->code.value, row.code);
  const auto* refusal = std::get_if<LimitRefusal>(&failure->cause);
  EXPECT_EQ(refusal ? refusal->limit : InputLimit::None, row.limit);
  EXPECT_TRUE(picture.rgb.empty());
  EXPECT_EQ(picture.width, 0u);
}

constexpr PictureBudget kNoTime{std::chrono::milliseconds(0)};
constexpr PictureBudget kMegapixel{testing::kHangDeadline, 1u << 20};
constexpr PictureBudget kFewPixels{testing::kHangDeadline, 63999};

INSTANTIATE_TEST_SUITE_P(
    Inputs, StillPictureRefusal,
    ::testing::Values(
        Refusal{"NotARecording", Text, {}, ConvertErrorKind::InvalidInputFormat, 0},
        Refusal{"HeaderWithoutRecords", HeaderOnly, {}, ConvertErrorKind::ReadInputFailed, ENODATA},
        Refusal{"NoTimeToDecode", Session, kNoTime, ConvertErrorKind::ReadInputFailed, ETIMEDOUT},
        Refusal{"ScreenOverThePixelBudget", Session, kFewPixels, ConvertErrorKind::ReadInputFailed,
                kErrorInvalidData, InputLimit::DecodedPixels},
        Refusal{"AnnouncedScreenOverThePixelBudget", AnnouncingALargerScreen, kMegapixel,
                ConvertErrorKind::ReadInputFailed, kErrorInvalidData, InputLimit::DecodedPixels}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace reelkit
