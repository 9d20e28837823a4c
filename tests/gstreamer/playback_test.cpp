// Recordings played through GStreamer with the plugin of the build folder, checked against the
// converter. The reference is the converter's MRLE output decoded by ffmpeg: the recordings use
// colours of the 8-bit palette only, so every depth holds them and MRLE keeps every picture exact,
// and 16-bit pixels are widened by repeating their bits both there and in GStreamer.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include "tests/gstreamer/gst_pipeline.h"
#include "tests/testing/ffmpeg_tool.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"
#include "tools/recording_writer/recording_writer.h"

namespace reelkit {
namespace {

using namespace recording;
using testing::PictureAt;
using testing::RunProcess;
using testing::ShownPicture;
using testing::TempDir;

constexpr int kWidth = 48;
constexpr int kHeight = 32;
constexpr Time kStart = 9'000'000'000;
constexpr Time kD = 1'000'000;  // one frame of the converter's pictures
constexpr GstClockTime kTenth = GST_SECOND / 10;

class GStreamerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { testing::UseBuiltPlugin(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new GStreamerEnvironment);

// The tool's path, or empty when it is not installed.
std::string ToolPath(const char* tool) {
  std::string path = RunProcess({"/bin/sh", "-c", std::string("command -v ") + tool}).output;
  while (!path.empty() && path.back() == '\n') {
    path.pop_back();
  }
  return path;
}

// How many pixels differ: pictures of thousands of pixels are not printed whole.
std::size_t DifferingPixels(const std::vector<std::uint32_t>& shown,
                            const std::vector<std::uint32_t>& expected) {
  if (shown.size() != expected.size()) {
    return std::max(shown.size(), expected.size());
  }
  std::size_t differing = 0;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    differing += shown[i] != expected[i] ? 1 : 0;
  }
  return differing;
}

std::vector<std::uint32_t> Desk(int width, int height, int step) {
  std::vector<std::uint32_t> pixels(std::size_t(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned colour = 216 + 5;
      const bool inWindow = x >= 3 + step && x < 24 + step && y >= 4 && y < 22;
      if (inWindow) {
        colour = y < 8 ? 5 : ((x * 7 + y * 3 + step) % 11 == 0 ? 0 : 215);
      } else if (y > height - 5) {
        colour = 36 + 12 + 3;
      }
      pixels[std::size_t(y) * width + x] = DefaultPaletteColor(colour);
    }
  }
  return pixels;
}

CursorShape Arrow(std::uint32_t inside) {
  std::vector<std::uint32_t> argb(5 * 7, 0);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x <= y && x < 5; ++x) {
      argb[y * 5 + x] = x == 0 ? 0xFF000000u : inside;
    }
  }
  return CursorShape::FromArgb(argb, 5, 7, 0, 0);
}

// A session with what a player must get right: records between the frame times, a delta, moves,
// the pointer moving and changing shape, an idle pause of several frames, a second key image and a
// smaller screen announced late. Timestamps are in frames from the start.
void WriteSession(const std::string& path, PixelLayout layout) {
  CRecordingWriter writer(path, MakeStreamFormat(kWidth, kHeight, layout));
  const auto at = [](double frames) { return kStart + static_cast<Time>(frames * kD); };
  const auto desk = [layout](int step, int width = kWidth, int height = kHeight) {
    return PackPicture(Desk(width, height, step), width, height, layout);
  };
  writer.WriteInit(at(0), &writer.Model().NativeFormat());
  writer.WriteCursorShape(at(0), Arrow(0xFFFFFFFF));
  writer.WriteCursorPosition(at(0), 4, 4);
  writer.WriteKeyFrame(at(0), desk(0));
  writer.WriteDelta(at(0.4), desk(2));
  writer.WriteCursorPosition(at(0.7), 12, 9);
  const std::vector<MoveOperation> scroll{{MoveKind::Copy, {3, 9, 21, 12}, 3, 10, 0}};
  writer.WriteMoves(at(1.2), scroll);
  writer.WriteDelta(at(1.3), desk(4));
  writer.WriteCursorPosition(at(5.6), 30, 20);  // after an idle pause
  writer.WriteCursorShape(at(6.1), Arrow(0xFF0000FF));
  writer.WriteKeyFrame(at(7.0), desk(6));
  writer.WriteDelta(at(7.5), desk(8));
  writer.WriteCursorPosition(at(8.05), 20, 6);
  const BitmapFormat smaller = MakeStreamFormat(kWidth / 2, kHeight / 2, layout);
  writer.WriteFormat(at(9.2), &smaller);
  writer.WriteKeyFrame(at(9.2), desk(1, kWidth / 2, kHeight / 2));
  writer.WriteDelta(at(10.6), desk(3, kWidth / 2, kHeight / 2));
  writer.Finish();
}

struct Reference {
  std::vector<std::vector<std::uint32_t>> frames;  // one every tenth of a second
};

// The converter's MRLE output of the recording, every stored frame (repeats included).
Reference ConvertedFrames(const TempDir& dir, const std::string& recording) {
  const std::string video = dir.File("converted.avi");
  const auto run = RunProcess({REELKIT_BINARY, "-in", recording, "-out", video, "-fourcc", "MRLE"});
  EXPECT_EQ(run.exitStatus, 0) << run.output;
  const testing::DecodedVideo decoded = testing::DecodeVideo(video);
  EXPECT_EQ(decoded.errors, "");
  Reference reference;
  for (const auto& bgra : decoded.frames) {
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const std::uint8_t* p = bgra.data() + (std::size_t(y) * decoded.width + x) * 4;
        pixels.push_back(std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0]);
      }
    }
    reference.frames.push_back(std::move(pixels));
  }
  return reference;
}

struct DepthCase {
  const char* name;
  PixelLayout layout;
};

void PrintTo(const DepthCase& row, std::ostream* out) {
  *out << row.name;
}

const DepthCase kDepths[] = {
    {"Indexed8", PixelLayout::Indexed8}, {"Rgb555", PixelLayout::Rgb555},
    {"Rgb565", PixelLayout::Rgb565},     {"Rgb24", PixelLayout::Rgb24},
    {"Rgb32", PixelLayout::Rgb32},       {"Rgb32BitFields", PixelLayout::Rgb32BitFields},
};

class EveryDepth : public ::testing::TestWithParam<DepthCase> {
 protected:
  void SetUp() override {
    if (!testing::FfmpegToolsAvailable()) {
      GTEST_SKIP() << "the ffmpeg tools are not installed, so there is no reference to compare";
    }
    recording_ = dir_.File("session.rcrec");
    WriteSession(recording_, GetParam().layout);
    reference_ = ConvertedFrames(dir_, recording_);
    ASSERT_GT(reference_.frames.size(), 10u);
  }

  TempDir dir_;
  std::string recording_;
  Reference reference_;
};

TEST_P(EveryDepth, EveryTenthOfASecondShowsTheConvertersPicture) {
  const testing::Playback playback = testing::PlayFile(recording_);
  ASSERT_EQ(playback.error, "");
  ASSERT_FALSE(playback.timedOut);
  // A picture lasts until the next one, and idle frames make none of their own.
  ASSERT_FALSE(playback.pictures.empty());
  EXPECT_LT(playback.pictures.size(), reference_.frames.size());
  for (std::size_t i = 0; i + 1 < playback.pictures.size(); ++i) {
    EXPECT_EQ(playback.pictures[i].pts + playback.pictures[i].duration,
              playback.pictures[i + 1].pts)
        << "picture " << i;
  }
  const ShownPicture& last = playback.pictures.back();
  EXPECT_EQ(last.pts + last.duration, reference_.frames.size() * kTenth);
  for (std::size_t k = 0; k < reference_.frames.size(); ++k) {
    const ShownPicture* shown = PictureAt(playback.pictures, k * kTenth);
    ASSERT_NE(shown, nullptr) << "at frame " << k;
    ASSERT_EQ(shown->width, kWidth);
    EXPECT_EQ(DifferingPixels(shown->pixels, reference_.frames[k]), 0u)
        << "at " << k << " tenths of a second";
  }
}

TEST_P(EveryDepth, SeekingShowsThePictureOfThatTime) {
  // Backwards and forwards, into the idle pause, onto and between the key images, past the resize.
  const std::vector<std::size_t> tenths = {8, 3, 0, 4, 7, 10, 1, 5, 9};
  std::vector<GstClockTime> times;
  for (const std::size_t k : tenths) {
    times.push_back(k * kTenth + kTenth / 2);
  }
  const std::vector<ShownPicture> shown = testing::PicturesAfterSeeks(recording_, times);
  ASSERT_EQ(shown.size(), tenths.size());
  for (std::size_t i = 0; i < tenths.size(); ++i) {
    EXPECT_EQ(DifferingPixels(shown[i].pixels, reference_.frames[tenths[i]]), 0u)
        << "seek to " << tenths[i] << ".5 tenths";
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, EveryDepth, ::testing::ValuesIn(kDepths),
                         [](const auto& row) { return std::string(row.param.name); });

// The pass-through AVI of a session: the AVI demuxer hands the stream to the plugin's decoder
// under its FourCC, and its pictures follow the file's own clock of 30 chunks a second. The last
// picture is the converter's last.
TEST(AviStream, PlaysThroughTheAviDemuxer) {
  if (!testing::FfmpegToolsAvailable()) {
    GTEST_SKIP() << "the ffmpeg tools are not installed, so there is no reference to compare";
  }
  TempDir dir;
  const std::string recording = dir.File("session.rcrec");
  WriteSession(recording, PixelLayout::Rgb565);
  const Reference reference = ConvertedFrames(dir, recording);
  const std::string avi = dir.File("pass.avi");
  const auto run = RunProcess({REELKIT_BINARY, "-in", recording, "-out", avi, "-fourcc", "VQSC"});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  const testing::Playback playback = testing::PlayFile(avi);
  ASSERT_EQ(playback.error, "");
  ASSERT_FALSE(playback.pictures.empty());
  EXPECT_EQ(DifferingPixels(playback.pictures.back().pixels, reference.frames.back()), 0u);
  for (std::size_t i = 0; i + 1 < playback.pictures.size(); ++i) {
    EXPECT_EQ(playback.pictures[i].pts + playback.pictures[i].duration,
              playback.pictures[i + 1].pts);
  }
}

TEST(GStreamerTools, InspectListsTheElementsFromTheBuildFolder) {
  const std::string inspect = ToolPath("gst-inspect-1.0");
  if (inspect.empty()) {
    GTEST_SKIP() << "gst-inspect-1.0 (gstreamer1.0-tools) is not installed";
  }
  const auto run = RunProcess({inspect, "reelkit"});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_NE(run.output.find("reelkitdemux: Screen recording demuxer"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("reelkitdec: Screen stream decoder"), std::string::npos);
  EXPECT_NE(run.output.find("video/x-reelkit-recording: rcrec"), std::string::npos);
  EXPECT_NE(run.output.find("3 features"), std::string::npos);
}

// The discoverer finds each recording by content and reports its size and the converter's length.
TEST(GStreamerTools, DiscovererReportsSizeAndDurationOfEveryDepth) {
  const std::string discoverer = ToolPath("gst-discoverer-1.0");
  if (discoverer.empty()) {
    GTEST_SKIP() << "gst-discoverer-1.0 (gstreamer1.0-plugins-base-apps) is not installed";
  }
  TempDir dir;
  for (const DepthCase& depth : kDepths) {
    SCOPED_TRACE(depth.name);
    const std::string recording = dir.File(std::string(depth.name) + ".bin");
    WriteSession(recording, depth.layout);
    const auto run = RunProcess({discoverer, recording});
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    // 10.6 frames in, the last record's frame ends the video at 1.1 seconds.
    EXPECT_NE(run.output.find("Duration: 0:00:01.100000000"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("container #0: video/x-reelkit-recording"), std::string::npos);
    EXPECT_NE(run.output.find("Width: " + std::to_string(kWidth) + "\n"), std::string::npos);
    EXPECT_NE(run.output.find("Height: " + std::to_string(kHeight) + "\n"), std::string::npos);
  }
}

}  // namespace
}  // namespace reelkit
