// H.264 in MP4 written through the recorder interface, checked with the independent ffmpeg tools.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/error_codes.h"
#include "recorders/avi_recorder.h"
#include "recorders/h264_mp4_recorder.h"
#include "tests/recorders/test_pictures.h"
#include "tests/testing/ffmpeg_tool.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr Time kStart = 55'000'000;  // a recording's clock does not start at zero
constexpr Time kInterval = 1'000'000;
// Coloured one-pixel edges through 4:2:0 and the encoder's quality setting, on the colour
// channels; a neighbouring picture of the sequence scores below 25.
constexpr double kMinimumPsnr = 33.0;

struct Sample {
  SampleKind kind;
  const TestPicture* picture;  // for a spacer, the picture it repeats
};

std::string WriteSamples(const std::vector<Sample>& samples, const std::string& path) {
  CH264Mp4Recorder recorder;
  recorder.Open(path);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const Sample& sample = samples[i];
    const std::uint32_t result =
        recorder.Write(sample.kind, sample.picture->format, sample.picture->bytes,
                       kStart + static_cast<Time>(i) * kInterval);
    EXPECT_EQ(result, 0u) << "sample " << i;
  }
  EXPECT_EQ(recorder.Close(), 0u);
  return testing::ReadFileBytes(path);
}

std::string Shell(const std::string& command) {
  return testing::RunProcess({"/bin/sh", "-c", command}).output;
}

// The top-level boxes of an MP4 file in order.
std::vector<std::string> TopLevelBoxes(const std::string& file) {
  std::vector<std::string> boxes;
  std::size_t at = 0;
  while (at + 8 <= file.size()) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(file[at + i]); };
    const std::uint64_t size =
        (std::uint64_t{byte(0)} << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
    boxes.push_back(file.substr(at + 4, 4));
    if (size < 8) {
      break;
    }
    at += size;
  }
  return boxes;
}

// The decoded picture's top-left width x height pixels.
Bytes Crop(const Bytes& bgra, int stride, int width, int height) {
  Bytes cropped;
  for (int y = 0; y < height; ++y) {
    const auto row = bgra.begin() + static_cast<std::ptrdiff_t>(y) * stride * 4;
    cropped.insert(cropped.end(), row, row + static_cast<std::ptrdiff_t>(width) * 4);
  }
  return cropped;
}

class H264Mp4FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::FfmpegToolsAvailable()) {
      GTEST_SKIP() << "ffmpeg and ffprobe are needed to check the files";
    }
  }
  testing::TempDir dir_;
};

// One file holds what every player needs: each picture shown at its time and for as long as its
// spacers last, the last one to the end; no frame for a spacer; the index before the data; the
// same bytes on every run; a picture of another depth converted to the file's.
TEST_F(H264Mp4FilesTest, ShowsEveryPictureAtItsTimeAndSpacersCostNothing) {
  constexpr int kWidth = 320;
  constexpr int kHeight = 240;
  const std::vector<TestPicture> desktop = DesktopSequence(kWidth, kHeight, 4);
  const TestPicture grey = SolidPicture16(kWidth, kHeight, kMasks565, 0x8410);
  const std::vector<Sample> samples = {{SampleKind::Picture, &desktop[0]},
                                       {SampleKind::Picture, &desktop[1]},
                                       {SampleKind::RepeatedPicture, &desktop[1]},
                                       {SampleKind::RepeatedPicture, &desktop[1]},
                                       {SampleKind::RepeatedPicture, &desktop[1]},
                                       {SampleKind::Picture, &desktop[2]},
                                       {SampleKind::Picture, &grey},
                                       {SampleKind::RepeatedPicture, &grey},
                                       {SampleKind::Picture, &desktop[3]},
                                       {SampleKind::RepeatedPicture, &desktop[3]},
                                       {SampleKind::RepeatedPicture, &desktop[3]},
                                       {SampleKind::RepeatedPicture, &desktop[3]}};
  const std::string path = dir_.File("session.mp4");
  const std::string file = WriteSamples(samples, path);
  EXPECT_EQ(WriteSamples(samples, dir_.File("again.mp4")), file);

  const std::vector<std::string> boxes = TopLevelBoxes(file);
  const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
  EXPECT_LT(moov, std::find(boxes.begin(), boxes.end(), "mdat"));

  EXPECT_EQ(Shell("ffprobe -v warning -show_entries stream=codec_name,pix_fmt,nb_frames -of "
                  "csv=p=0 '" +
                  path + "' 2>&1"),
            "h264,yuv420p,5\n");
  EXPECT_DOUBLE_EQ(testing::ProbeVideo(path).duration, 1.2);

  const testing::DecodedVideo shown = testing::DecodeVideo(path, "-fps_mode cfr -r 10");
  EXPECT_EQ(shown.errors, "");
  ASSERT_EQ(shown.frames.size(), samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    Bytes expected = samples[i].picture == &grey ? Bytes{} : TopDownBgra(*samples[i].picture);
    if (expected.empty()) {
      expected.assign(shown.frames[i].size(), 0xFF);
      for (std::size_t at = 0; at < expected.size(); at += 4) {
        expected[at] = 0x84;  // 565 grey 0x8410 widened: 132 in each channel
        expected[at + 1] = 0x82;
        expected[at + 2] = 0x84;
      }
    }
    EXPECT_GE(testing::PsnrBgra(shown.frames[i], expected), kMinimumPsnr) << "at sample " << i;
  }
}

TestPicture SolidPicture32(int width, int height, std::uint32_t color) {
  TestPicture picture{PictureFormat(width, height, 32), {}};
  for (int i = 0; i < width * height; ++i) {
    for (int shift = 0; shift < 32; shift += 8) {
      picture.bytes.push_back(static_cast<std::uint8_t>(color >> shift));
    }
  }
  return picture;
}

// Sizes 4:2:0 cannot hold are padded to even with a black margin, the picture top-left.
TEST_F(H264Mp4FilesTest, OddSizesPlayPaddedToEven) {
  struct OddSize {
    int width;
    int height;
    double minimumPsnr;  // a picture of a few pixels is all edge beside its margin
  };
  for (const auto& [width, height, minimumPsnr] :
       {OddSize{3, 5, 25.0}, OddSize{1921, 1081, kMinimumPsnr}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    const std::vector<TestPicture> pictures = {DesktopSequence(width, height, 1)[0],
                                               SolidPicture32(width, height, 0x3A6EA5)};
    const std::string path = dir_.File("odd.mp4");
    WriteSamples({{SampleKind::Picture, &pictures[0]}, {SampleKind::Picture, &pictures[1]}}, path);
    const testing::DecodedVideo decoded = testing::DecodeVideo(path);
    EXPECT_EQ(decoded.errors, "");
    EXPECT_EQ(decoded.width, width + 1);
    EXPECT_EQ(decoded.height, height + 1);
    ASSERT_EQ(decoded.frames.size(), 2u);
    EXPECT_GE(testing::PsnrBgra(Crop(decoded.frames[1], decoded.width, width, height),
                                TopDownBgra(pictures[1])),
              minimumPsnr);
    // Blue, green, red of the bottom-right pixel: the margin's luma is black, its chroma is the
    // picture's beside it.
    const std::uint8_t* corner = &decoded.frames[1][decoded.frames[1].size() - 4];
    EXPECT_LT(0.114 * corner[0] + 0.587 * corner[1] + 0.299 * corner[2], 16.0);
  }
}

// A file that cannot be made is refused with the same cause as an AVI output, on every later
// sample too, and the pass-through samples of another format are refused.
TEST_F(H264Mp4FilesTest, RefusalsCarryTheirCause) {
  const std::vector<TestPicture> pictures = DesktopSequence(64, 48, 1);
  const std::string path = dir_.File("missing-folder/out.mp4");
  CAviRecorder avi(10.0, kFourCCMicrosoftRle);
  avi.Open(path);
  const std::uint32_t aviResult =
      avi.Write(SampleKind::Picture, pictures[0].format, pictures[0].bytes, kStart);
  ASSERT_NE(aviResult, 0u);

  CH264Mp4Recorder recorder;
  recorder.Open(path);
  EXPECT_EQ(recorder.Write(SampleKind::Picture, pictures[0].format, pictures[0].bytes, kStart),
            aviResult);
  EXPECT_EQ(recorder.Write(SampleKind::Picture, pictures[0].format, pictures[0].bytes,
                           kStart + kInterval),
            aviResult);
  EXPECT_EQ(recorder.Close(), 0u);
  EXPECT_FALSE(std::filesystem::exists(path));

  CH264Mp4Recorder passThrough;
  passThrough.Open(dir_.File("bundle.mp4"));
  EXPECT_EQ(passThrough.Write(SampleKind::KeyBundle, pictures[0].format, pictures[0].bytes, kStart),
            kErrorInvalidFunction);
}

}  // namespace
}  // namespace reelkit
