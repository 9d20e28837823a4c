// Files written through the real encoders, checked with the independent ffmpeg tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/endian.h"
#include "common/error_codes.h"
#include "recorders/avi_recorder.h"
#include "recorders/codec_module.h"
#include "recorders/frame_batch.h"
#include "tests/recorders/test_pictures.h"
#include "tests/testing/ffmpeg_tool.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ReadFileBytes;

std::string DecodeToNull(const std::string& path, const std::string& extra = "") {
  return testing::RunProcess(
             {"/bin/sh", "-c",
              "ffmpeg -nostdin -v error -i '" + path + "' " + extra + " -f null - 2>&1"})
      .output;
}

// The flags of every packet, "K" for a key frame, in stream order.
std::vector<bool> KeyFlags(const std::string& path) {
  const std::string output =
      testing::RunProcess({"/bin/sh", "-c",
                           "ffprobe -v error -select_streams v:0 -show_entries packet=flags -of "
                           "csv=p=0 '" +
                               path + "'"})
          .output;
  std::vector<bool> keys;
  std::size_t at = 0;
  while (at < output.size()) {
    const std::size_t end = std::min(output.find('\n', at), output.size());
    if (end > at) {
      keys.push_back(output[at] == 'K');
    }
    at = end + 1;
  }
  return keys;
}

std::size_t LongestRunWithoutKey(const std::vector<bool>& keys) {
  std::size_t longest = 0;
  std::size_t run = 0;
  for (const bool key : keys) {
    run = key ? 0 : run + 1;
    longest = std::max(longest, run);
  }
  return longest;
}

// The data of every video chunk of the first movi list, in file order.
std::vector<std::string> VideoChunks(const std::string& bytes) {
  std::vector<std::string> chunks;
  const std::size_t movi = bytes.find("movi");
  std::size_t at = movi == std::string::npos ? movi : bytes.find("00dc", movi);
  while (at != std::string::npos && at + 8 <= bytes.size() && bytes.compare(at, 4, "00dc") == 0) {
    const std::uint32_t size =
        LoadU32LE(reinterpret_cast<const std::uint8_t*>(bytes.data() + at + 4));
    chunks.push_back(bytes.substr(at + 8, size));
    at += 8 + size + (size & 1);
  }
  return chunks;
}

class AviFilesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(RegisterCodecModuleAt(VQCODEC_MODULE_PATH)); }
  void SetUp() override {
    if (!testing::FfmpegToolsAvailable()) {
      GTEST_SKIP() << "ffmpeg and ffprobe are needed to check the files";
    }
  }

  // Writes the pictures in copy mode, as the conversion job does.
  void Record(FourCC fourcc, const std::vector<TestPicture>& pictures, const std::string& path) {
    CAviRecorder recorder(10.0, fourcc);
    recorder.Open(path);
    Time time = 55'000'000;  // a recording's clock does not start at zero
    for (const TestPicture& picture : pictures) {
      ASSERT_EQ(recorder.Write(SampleKind::Picture, picture.format, picture.bytes, time), 0u);
      time += recorder.FrameDuration();
    }
    ASSERT_EQ(recorder.Close(), 0u);
  }

  testing::TempDir dir_;
};

struct FormatRow {
  std::string name;
  FourCC fourcc;
  int width;
  int height;
  int storedWidth;  // what the stream declares: msvc codes whole 4x4 blocks
  int storedHeight;
};

class RecordedFormatTest : public AviFilesTest, public ::testing::WithParamInterface<FormatRow> {};

TEST_P(RecordedFormatTest, DecodesCleanlyWithTheRightTagRateAndLength) {
  const FormatRow& row = GetParam();
  const std::string path = dir_.File("out.avi");
  const auto pictures = DesktopSequence(row.width, row.height, 25);
  Record(row.fourcc, pictures, path);

  EXPECT_EQ(DecodeToNull(path), "");
  const testing::ProbedVideo probed = testing::ProbeVideo(path);
  EXPECT_EQ(probed.codecTag, FourCCToText(row.fourcc));
  EXPECT_EQ(probed.frameRate, "10/1");
  EXPECT_EQ(probed.frameCount, 25);
  EXPECT_NEAR(probed.duration, 2.5, 1e-6);
  EXPECT_EQ(probed.width, row.storedWidth);
  EXPECT_EQ(probed.height, row.storedHeight);
  const std::string bytes = ReadFileBytes(path);
  ASSERT_GT(bytes.size(), 116u);
  EXPECT_EQ(bytes.substr(112, 4), FourCCToText(row.fourcc));  // the first stream's handler

  const std::string again = dir_.File("again.avi");
  Record(row.fourcc, pictures, again);
  EXPECT_TRUE(ReadFileBytes(again) == bytes) << "the same pictures must give the same file";
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RecordedFormatTest,
    ::testing::Values(FormatRow{"Mrle", kFourCCMicrosoftRle, 64, 48, 64, 48},
                      FormatRow{"MrleOddSize", kFourCCMicrosoftRle, 61, 37, 61, 37},
                      FormatRow{"Msvc", kFourCCMicrosoftVideo1, 64, 48, 64, 48},
                      FormatRow{"MsvcRoundsUpToBlocks", kFourCCMicrosoftVideo1, 61, 37, 64, 40},
                      // A recording's picture may be up to 65535 pixels wide or high.
                      FormatRow{"MrleWidest", kFourCCMicrosoftRle, 65535, 2, 65535, 2},
                      FormatRow{"MsvcTallest", kFourCCMicrosoftVideo1, 3, 65532, 4, 65532}),
    [](const auto& rowInfo) { return rowInfo.param.name; });

TEST_F(AviFilesTest, MrlePicturesOfFewColoursComeBackExactly) {
  const std::string path = dir_.File("mrle.avi");
  const auto pictures = DesktopSequence(96, 64, 30);
  Record(kFourCCMicrosoftRle, pictures, path);
  const testing::DecodedVideo decoded = testing::DecodeVideo(path);
  EXPECT_EQ(decoded.errors, "");
  ASSERT_EQ(decoded.frames.size(), pictures.size());
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    EXPECT_TRUE(std::isinf(testing::PsnrBgra(decoded.frames[i], TopDownBgra(pictures[i]))))
        << "frame " << i;
  }
}

// Mean squared difference between the decoded frame's region at (left, top) and the picture.
double RegionError(const Bytes& frame, int frameWidth, const Bytes& picture, int width, int height,
                   int left, int top) {
  double squared = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        const double d =
            double(frame[static_cast<std::size_t>(((y + top) * frameWidth + x + left) * 4 + c)]) -
            double(picture[static_cast<std::size_t>((y * width + x) * 4 + c)]);
        squared += d * d;
      }
    }
  }
  return squared / (width * height * 3);
}

TEST_F(AviFilesTest, MsvcShowsThePictureTopLeftWithABlackMargin) {
  const std::string path = dir_.File("msvc.avi");
  const auto pictures = DesktopSequence(30, 18, 3);
  Record(kFourCCMicrosoftVideo1, pictures, path);
  const testing::DecodedVideo decoded = testing::DecodeVideo(path);
  ASSERT_EQ(decoded.frames.size(), 3u);
  ASSERT_EQ(decoded.width, 32);
  ASSERT_EQ(decoded.height, 20);
  const Bytes& frame = decoded.frames[2];
  bool marginBlack = true;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 32; ++x) {
      if (x >= 30 || y >= 18) {
        const auto at = static_cast<std::size_t>((y * 32 + x) * 4);
        marginBlack = marginBlack && frame[at] == 0 && frame[at + 1] == 0 && frame[at + 2] == 0;
      }
    }
  }
  EXPECT_TRUE(marginBlack);
  const Bytes expected = TopDownBgra(pictures[2]);
  const double topLeft = RegionError(frame, 32, expected, 30, 18, 0, 0);
  const double bottomLeft = RegionError(frame, 32, expected, 30, 18, 0, 2);
  EXPECT_LT(topLeft * 3, bottomLeft) << topLeft << " " << bottomLeft;
}

struct DepthRow {
  std::string name;
  FourCC fourcc;
  std::array<std::uint32_t, 3> masks;
  std::uint16_t pixel;
  std::array<int, 3> expectedRgb;
};

class SixteenBitColourTest : public AviFilesTest, public ::testing::WithParamInterface<DepthRow> {};

TEST_P(SixteenBitColourTest, KeepsTheRecordedColour) {
  const DepthRow& row = GetParam();
  const std::string path = dir_.File("depth.avi");
  Record(row.fourcc, {SolidPicture16(8, 8, row.masks, row.pixel)}, path);
  const testing::DecodedVideo decoded = testing::DecodeVideo(path);
  ASSERT_EQ(decoded.frames.size(), 1u);
  const Bytes& frame = decoded.frames[0];
  EXPECT_NEAR(frame[2], row.expectedRgb[0], 8);
  EXPECT_NEAR(frame[1], row.expectedRgb[1], 8);
  EXPECT_NEAR(frame[0], row.expectedRgb[2], 8);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, SixteenBitColourTest,
    ::testing::Values(
        DepthRow{
            "MsvcRed565", kFourCCMicrosoftVideo1, {0xF800, 0x07E0, 0x001F}, 0xF800, {255, 0, 0}},
        DepthRow{
            "MsvcGreen565", kFourCCMicrosoftVideo1, {0xF800, 0x07E0, 0x001F}, 0x07E0, {0, 255, 0}},
        DepthRow{
            "MsvcRed555", kFourCCMicrosoftVideo1, {0x7C00, 0x03E0, 0x001F}, 0x7C00, {255, 0, 0}},
        DepthRow{"MrleRed565", kFourCCMicrosoftRle, {0xF800, 0x07E0, 0x001F}, 0xF800, {255, 0, 0}},
        DepthRow{
            "MrleBlue565", kFourCCMicrosoftRle, {0xF800, 0x07E0, 0x001F}, 0x001F, {0, 0, 255}}),
    [](const auto& rowInfo) { return rowInfo.param.name; });

TEST_F(AviFilesTest, KeyFramesComeAtLeastEveryTenSeconds) {
  for (const FourCC fourcc : {kFourCCMicrosoftVideo1, kFourCCMicrosoftRle}) {
    const std::string path = dir_.File("keys.avi");
    Record(fourcc, DesktopSequence(32, 16, 230), path);
    const std::vector<bool> keys = KeyFlags(path);
    ASSERT_EQ(keys.size(), 230u) << FourCCToText(fourcc);
    EXPECT_TRUE(keys[0]) << FourCCToText(fourcc);
    EXPECT_LT(LongestRunWithoutKey(keys), 100u) << FourCCToText(fourcc);
  }
}

TEST_F(AviFilesTest, PassThroughStoresEachTaggedSampleUnchanged) {
  const std::string path = dir_.File("vqsc.avi");
  const BitmapFormat format = PictureFormat(64, 48, 32);
  const Bytes init = {'F', 'I', 'N', 'T', 1, 2, 3};
  const Bytes delta = {'D', 'L', 'T', 'A', 9};
  {
    CAviRecorder recorder(30.0, kFourCCScreenCodec);
    recorder.Open(path);
    const Time base = 7'000'000;
    ASSERT_EQ(recorder.Write(SampleKind::Bundle, format, init, base), 0u);  // sent as KBND
    ASSERT_EQ(recorder.Write(SampleKind::Spacer, format, {}, base + 333'333), 0u);
    ASSERT_EQ(recorder.Write(SampleKind::Bundle, format, delta, base + 2 * 333'333), 0u);
  }
  EXPECT_EQ(DecodeToNull(path, "-c copy"), "");
  const testing::ProbedVideo probed = testing::ProbeVideo(path);
  EXPECT_EQ(probed.codecTag, "VQSC");
  EXPECT_EQ(probed.frameRate, "30/1");
  EXPECT_EQ(probed.frameCount, 3);
  EXPECT_NEAR(probed.duration, 0.1, 1e-6);
  EXPECT_EQ(KeyFlags(path), (std::vector<bool>{true, false, false}));

  const std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.substr(112, 4), "VQSC");
  EXPECT_EQ(VideoChunks(bytes), (std::vector<std::string>{std::string("KBNDFINT\1\2\3", 11), "EMPT",
                                                          std::string("BNDLDLTA\x09", 9)}));
}

// Runs of spacers longer than a batch, one of them at the very end, and a bundle too large for a
// batch between them: every frame is a chunk of its own, in order, each at its own frame time.
TEST_F(AviFilesTest, PassThroughKeepsEveryFrameThroughLongRunsOfSpacers) {
  const std::string path = dir_.File("runs.avi");
  const BitmapFormat format = PictureFormat(64, 48, 32);
  std::vector<std::string> expected;
  {
    CAviRecorder recorder(30.0, kFourCCScreenCodec);
    recorder.Open(path);
    Time time = 7'000'000;
    const auto write = [&](SampleKind kind, const std::string& tag, const std::string& bundle) {
      const Bytes bytes(bundle.begin(), bundle.end());
      ASSERT_EQ(recorder.Write(kind, format, bytes, time), 0u) << expected.size();
      expected.push_back(tag + bundle);
      time += recorder.FrameDuration();
    };
    const auto spacers = [&](std::size_t count) {
      for (std::size_t i = 0; i < count; ++i) {
        write(SampleKind::Spacer, "EMPT", "");
      }
    };
    write(SampleKind::KeyBundle, "KBND", "FINT");
    spacers(1500);
    write(SampleKind::Bundle, "BNDL", std::string(CFrameBatch::kLargestFrame + 1, 'D'));
    spacers(700);
    write(SampleKind::Bundle, "BNDL", "DLTA");
    spacers(2 * CFrameBatch::kFrames + 3);
  }  // closed by the destructor, as when a conversion stops early
  EXPECT_EQ(VideoChunks(ReadFileBytes(path)), expected);
  const testing::ProbedVideo probed = testing::ProbeVideo(path);
  EXPECT_EQ(probed.frameCount, static_cast<long>(expected.size()));
  EXPECT_NEAR(probed.duration, static_cast<double>(expected.size()) / 30, 1e-6);
}

TEST_F(AviFilesTest, MsvcRefusesAPictureTooLargeForItBeforeWritingAnything) {
  // Whole 4x4 blocks of 65533 pixels would make a picture of 65536, more than an AVI file holds.
  for (const auto& [width, height] : {std::pair{65533, 4}, std::pair{4, 65535}}) {
    const std::string path = dir_.File("msvc.avi");
    const TestPicture picture = DesktopSequence(width, height, 1).front();
    CAviRecorder recorder(10.0, kFourCCMicrosoftVideo1);
    recorder.Open(path);
    EXPECT_EQ(recorder.Write(SampleKind::Picture, picture.format, picture.bytes, 0),
              kResultTooLargeForMsvideo1);
    EXPECT_FALSE(std::filesystem::exists(path));
  }
}

TEST_F(AviFilesTest, PassThroughRefusesADecodedPicture) {
  // Stored as screen stream, a picture would make a file that nothing can read back. The refusal
  // reaches the caller with a later batch of frames, or at the latest from Close.
  const std::string path = dir_.File("vqsc.avi");
  const TestPicture picture = DesktopSequence(64, 48, 1).front();
  CAviRecorder recorder(30.0, kFourCCScreenCodec);
  recorder.Open(path);
  EXPECT_EQ(recorder.Write(SampleKind::Picture, picture.format, picture.bytes, 0), 0u);
  EXPECT_EQ(recorder.Close(), kErrorInvalidData);
}

TEST_F(AviFilesTest, RegistrationFindsTheModuleBesideTheProgram) {
  EXPECT_EQ(CodecModulePath().substr(CodecModulePath().rfind('/') + 1), "vqcodec.ax");
  EXPECT_FALSE(RegisterCodecModuleAt(dir_.File("missing.ax")));
}

}  // namespace
}  // namespace reelkit
