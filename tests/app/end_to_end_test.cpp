// Recordings from the recording writer converted by the real program, then decoded by the
// independent ffmpeg tools and compared with the screens the writer recorded.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <utility>

#include "tests/testing/ffmpeg_tool.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"
#include "tools/recording_writer/recording_writer.h"

namespace reelkit {
namespace {

using recording::CRecordingWriter;
using recording::PixelLayout;
using testing::DecodeVideo;
using testing::ProbeVideo;
using testing::ReadFileBytes;
using testing::RunProcess;
using testing::TempDir;

constexpr Time kStart = 7'000'000'000;
constexpr Time kD = 1'000'000;  // one frame at 10 frames per second

// A picture as 0x00RRGGBB values, top row first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// Desktop-like pictures: a background and a few windows, every colour from the 8-bit palette so
// that each depth holds them exactly.
Picture Scene(int width, int height, int step) {
  Picture picture{width, height, std::vector<std::uint32_t>(std::size_t(width) * height)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned colour = 216 + 5;  // grey desktop
      const bool inWindow = x >= 4 + step && x < 30 + step && y >= 6 && y < 30;
      const bool titleBar = inWindow && y < 10;
      const bool text = inWindow && !titleBar && (x * 7 + y * 3 + step) % 11 == 0;
      if (titleBar) {
        colour = 5;  // blue
      } else if (text) {
        colour = 0;  // black
      } else if (inWindow) {
        colour = 215;  // white
      } else if (y > height - 6) {
        colour = 36 * 1 + 6 * 2 + 3;  // task bar
      }
      picture.pixels[std::size_t(y) * width + x] = recording::DefaultPaletteColor(colour);
    }
  }
  return picture;
}

// The decoded frame's top-left width x height pixels as 0x00RRGGBB.
std::vector<std::uint32_t> Visible(const std::vector<std::uint8_t>& bgra, int decodedWidth,
                                   int width, int height) {
  std::vector<std::uint32_t> pixels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = bgra.data() + (std::size_t(y) * decodedWidth + x) * 4;
      pixels.push_back(std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0]);
    }
  }
  return pixels;
}

double Psnr(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
  double squared = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    for (int shift : {0, 8, 16}) {
      const double d = double((a[i] >> shift) & 0xFF) - double((b[i] >> shift) & 0xFF);
      squared += d * d;
    }
  }
  return squared == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * 3 * double(a.size()) / squared);
}

// Writes a recording whose output frames are known: a black FINT frame, the key image, one
// changed picture per frame interval, and an idle pause of 3.5 intervals that becomes spacers.
// Returns the pictures every output frame must show.
std::vector<Picture> WriteRecording(const std::string& path, int width, int height,
                                    PixelLayout layout) {
  CRecordingWriter writer(path, recording::MakeStreamFormat(width, height, layout));
  writer.WriteInit(kStart, &writer.Model().NativeFormat());
  std::vector<Picture> expected = {
      Picture{width, height, std::vector<std::uint32_t>(std::size_t(width) * height, 0)}};
  Time t = kStart + 1;
  for (int step = 0; step < 6; ++step) {
    const Picture picture = Scene(width, height, step * 3);
    if (step == 0) {
      writer.WriteKeyFrame(t, recording::PackPicture(picture.pixels, width, height, layout));
      t = kStart + 2 * kD;
    } else {
      writer.WriteDelta(t, recording::PackPicture(picture.pixels, width, height, layout));
      t += kD;
    }
    expected.push_back(picture);
    if (step == 3) {
      // Nothing happens for a while: the next change comes 3.5 intervals late.
      t += 3 * kD + kD / 2;
      for (int spacer = 0; spacer < 3; ++spacer) {
        expected.push_back(picture);
      }
    }
  }
  writer.Finish();
  return expected;
}

struct Conversion {
  testing::ProcessResult run;
  std::string output;
};

Conversion Convert(const std::string& input, const std::string& output, const char* fourcc) {
  return {RunProcess({REELKIT_BINARY, "-in", input, "-out", output, "-fourcc", fourcc}), output};
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::FfmpegToolsAvailable()) {
      GTEST_SKIP() << "the ffmpeg tools are not installed";
    }
  }
  TempDir dir_;
};

struct LayoutCase {
  const char* name;
  PixelLayout layout;
};

void PrintTo(const LayoutCase& row, std::ostream* out) {
  *out << row.name;
}

class EndToEndRle : public EndToEnd, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(EndToEndRle, EveryFrameDecodesExactly) {
  const std::string input = dir_.File("in.rcrec");
  const auto expected = WriteRecording(input, 64, 48, GetParam().layout);
  const Conversion converted = Convert(input, dir_.File("out.avi"), "MRLE");
  ASSERT_EQ(converted.run.exitStatus, 0) << converted.run.output;
  EXPECT_EQ(converted.run.output,
            input + "\nDone.\nRecorded " + std::to_string(expected.size()) +
                " video frames from 7 input packets, total video length is 1 seconds\n");
  const auto probed = ProbeVideo(converted.output);
  EXPECT_EQ(probed.codecTag, "mrle");
  EXPECT_EQ(probed.frameRate, "10/1");
  EXPECT_EQ(probed.frameCount, static_cast<long>(expected.size()));
  const auto decoded = DecodeVideo(converted.output);
  EXPECT_EQ(decoded.errors, "");
  ASSERT_EQ(decoded.frames.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(Visible(decoded.frames[i], decoded.width, 64, 48), expected[i].pixels)
        << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, EndToEndRle,
                         ::testing::Values(LayoutCase{"Indexed8", PixelLayout::Indexed8},
                                           LayoutCase{"Rgb24", PixelLayout::Rgb24},
                                           LayoutCase{"Rgb32", PixelLayout::Rgb32},
                                           LayoutCase{"Rgb32BitFields",
                                                      PixelLayout::Rgb32BitFields}),
                         [](const auto& row) { return std::string(row.param.name); });

class EndToEndVideo1 : public EndToEnd, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(EndToEndVideo1, FramesDecodeCloselyIncludingOddSizes) {
  // 62 x 46 is not a whole number of 4 x 4 blocks: the file is 64 x 48 with a black margin.
  const std::string input = dir_.File("in.rcrec");
  const auto expected = WriteRecording(input, 62, 46, GetParam().layout);
  const Conversion converted = Convert(input, dir_.File("out.avi"), "MSVC");
  ASSERT_EQ(converted.run.exitStatus, 0) << converted.run.output;
  const auto probed = ProbeVideo(converted.output);
  EXPECT_EQ(probed.codecTag, "msvc");
  EXPECT_EQ(probed.width, 64);
  EXPECT_EQ(probed.height, 48);
  const auto decoded = DecodeVideo(converted.output);
  EXPECT_EQ(decoded.errors, "");
  ASSERT_EQ(decoded.frames.size(), expected.size());
  for (std::size_t i = 1; i < expected.size(); ++i) {
    EXPECT_GE(Psnr(Visible(decoded.frames[i], decoded.width, 62, 46), expected[i].pixels), 30.0)
        << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, EndToEndVideo1,
                         ::testing::Values(LayoutCase{"Rgb565", PixelLayout::Rgb565},
                                           LayoutCase{"Rgb555", PixelLayout::Rgb555},
                                           LayoutCase{"Rgb32", PixelLayout::Rgb32}),
                         [](const auto& row) { return std::string(row.param.name); });

// H.264 in MP4 at an odd size: the picture shown at every tenth of a second is the recorded one,
// through the idle pause and to the end of the last picture, and the tools read it without a word.
TEST_F(EndToEnd, H264ShowsEveryRecordedPictureAtItsTime) {
  for (const PixelLayout layout : {PixelLayout::Rgb565, PixelLayout::Rgb32}) {
    SCOPED_TRACE(recording::PixelLayoutName(layout));
    const std::string input = dir_.File("in.rcrec");
    const auto expected = WriteRecording(input, 63, 47, layout);
    const Conversion converted = Convert(input, dir_.File("out.mp4"), "H264");
    ASSERT_EQ(converted.run.exitStatus, 0) << converted.run.output;
    EXPECT_EQ(RunProcess({"/bin/sh", "-c",
                          "ffprobe -v warning -show_entries stream=codec_name,width,height -of "
                          "csv=p=0 " +
                              converted.output + " 2>&1"})
                  .output,
              "h264,64,48\n");
    const auto shown = DecodeVideo(converted.output, "-fps_mode cfr -r 10");
    EXPECT_EQ(shown.errors, "");
    ASSERT_EQ(shown.frames.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_GE(Psnr(Visible(shown.frames[i], shown.width, 63, 47), expected[i].pixels), 30.0)
          << "frame " << i;
    }
  }
}

// A session that starts at 32 bits and drops to 16 mid-recording: the later pictures keep their
// colours, by the 16-bit masks the announcement implies.
TEST_F(EndToEnd, SixteenBitPicturesAfterThirtyTwoKeepTheirColours) {
  for (const PixelLayout layout : {PixelLayout::Rgb565, PixelLayout::Rgb555}) {
    const std::string input = dir_.File("in.rcrec");
    CRecordingWriter writer(input, recording::MakeStreamFormat(64, 48, PixelLayout::Rgb32));
    writer.WriteInit(kStart, &writer.Model().NativeFormat());
    writer.WriteKeyFrame(
        kStart + 1, recording::PackPicture(Scene(64, 48, 0).pixels, 64, 48, PixelLayout::Rgb32));
    const BitmapFormat sixteen = recording::MakeStreamFormat(64, 48, layout);
    writer.WriteFormat(kStart + 2 * kD, &sixteen);
    writer.WriteDelta(kStart + 3 * kD,
                      recording::PackPicture(Scene(64, 48, 6).pixels, 64, 48, layout));
    writer.Finish();
    const Conversion converted = Convert(input, dir_.File("out.avi"), "MRLE");
    ASSERT_EQ(converted.run.exitStatus, 0) << converted.run.output;
    const auto decoded = DecodeVideo(converted.output);
    ASSERT_FALSE(decoded.frames.empty());
    EXPECT_GE(Psnr(Visible(decoded.frames.back(), decoded.width, 64, 48), Scene(64, 48, 6).pixels),
              30.0)
        << recording::PixelLayoutName(layout);
  }
}

TEST_F(EndToEnd, PassThroughConvertsBackToTheSamePictures) {
  const std::string input = dir_.File("in.rcrec");
  WriteRecording(input, 64, 48, PixelLayout::Rgb32);
  const Conversion passThrough = Convert(input, dir_.File("pass.avi"), "VQSC");
  ASSERT_EQ(passThrough.run.exitStatus, 0) << passThrough.run.output;
  EXPECT_EQ(passThrough.run.output,
            input +
                "\nDone.\nRecorded 29 frames (1 key frames, 22 spacers) from 7 input "
                "packets, total video length is 0 seconds\n");
  const auto probed = ProbeVideo(passThrough.output);
  EXPECT_EQ(probed.codecTag, "VQSC");
  EXPECT_EQ(probed.frameRate, "30/1");
  EXPECT_EQ(probed.frameCount, 29);

  const Conversion again = Convert(passThrough.output, dir_.File("again.avi"), "MRLE");
  ASSERT_EQ(again.run.exitStatus, 0) << again.run.output;
  const auto decoded = DecodeVideo(again.output);
  EXPECT_EQ(decoded.errors, "");
  ASSERT_FALSE(decoded.frames.empty());
  // Every chunk decoded so far shows in the last frame: the final picture of the recording.
  EXPECT_EQ(Visible(decoded.frames.back(), decoded.width, 64, 48), Scene(64, 48, 15).pixels);
}

enum class Opening { FormatFirst, FormatWithoutPayload, KeyImageFirst };

// Writes a recording that opens as given, shows its key image, then changes once per 10 fps
// interval four times. Returns the last two pictures.
std::pair<Picture, Picture> WriteOpening(const std::string& path, Opening opening,
                                         PixelLayout layout) {
  CRecordingWriter writer(path, recording::MakeStreamFormat(64, 48, layout));
  const BitmapFormat format = writer.Model().NativeFormat();
  const auto packed = [layout](const Picture& picture) {
    return recording::PackPicture(picture.pixels, picture.width, picture.height, layout);
  };
  Picture previous;
  Picture picture = Scene(64, 48, 0);
  if (opening == Opening::KeyImageFirst) {
    recording::KeyFrameOptions options;
    options.announcedFormat = &format;
    writer.WriteKeyFrame(kStart, packed(picture), options);
  } else {
    writer.WriteInit(kStart, opening == Opening::FormatFirst ? &format : nullptr);
    writer.WriteKeyFrame(kStart + 1, packed(picture));
  }
  for (int step = 1; step <= 4; ++step) {
    previous = std::exchange(picture, Scene(64, 48, step * 3));
    writer.WriteDelta(kStart + step * kD, packed(picture));
  }
  writer.Finish();
  return {previous, picture};
}

struct RoundTripCase {
  const char* name;
  Opening opening;
  PixelLayout layout;
};

void PrintTo(const RoundTripCase& row, std::ostream* out) {
  *out << row.name;
}

class EndToEndRoundTrip : public EndToEnd, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(EndToEndRoundTrip, PassThroughConvertsAgainAndBackToTheLastPicture) {
  const std::string input = dir_.File("in.rcrec");
  const auto [previous, last] = WriteOpening(input, GetParam().opening, GetParam().layout);
  const Conversion pass = Convert(input, dir_.File("pass.avi"), "VQSC");
  ASSERT_EQ(pass.run.exitStatus, 0) << pass.run.output;
  // The chunks already are the stream: passed through again, the file comes out as it went in.
  const Conversion again = Convert(pass.output, dir_.File("again.avi"), "VQSC");
  ASSERT_EQ(again.run.exitStatus, 0) << again.run.output;
  EXPECT_TRUE(ReadFileBytes(again.output) == ReadFileBytes(pass.output));

  const auto fromPass = DecodeVideo(Convert(pass.output, dir_.File("pass-rle.avi"), "MRLE").output);
  const auto fromAgain =
      DecodeVideo(Convert(again.output, dir_.File("again-rle.avi"), "MRLE").output);
  EXPECT_EQ(fromAgain.errors, "");
  ASSERT_FALSE(fromPass.frames.empty());
  EXPECT_TRUE(fromAgain.frames == fromPass.frames);
  // The last change falls between two 10 fps frames of the chunk pacing; it still ends the video.
  EXPECT_EQ(Visible(fromPass.frames.back(), fromPass.width, 64, 48), last.pixels);
  const auto video1 = DecodeVideo(Convert(pass.output, dir_.File("pass-v1.avi"), "MSVC").output);
  ASSERT_FALSE(video1.frames.empty());
  const auto shown = Visible(video1.frames.back(), video1.width, 64, 48);
  EXPECT_GT(Psnr(shown, last.pixels), Psnr(shown, previous.pixels));
}

INSTANTIATE_TEST_SUITE_P(
    Openings, EndToEndRoundTrip,
    ::testing::Values(RoundTripCase{"FormatFirst", Opening::FormatFirst, PixelLayout::Rgb32},
                      RoundTripCase{"FormatWithoutPayload", Opening::FormatWithoutPayload,
                                    PixelLayout::Indexed8},
                      RoundTripCase{"KeyImageFirst", Opening::KeyImageFirst, PixelLayout::Rgb24}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(EndToEnd, ConvertingTwiceGivesIdenticalFiles) {
  const std::string input = dir_.File("in.rcrec");
  WriteRecording(input, 64, 48, PixelLayout::Rgb565);
  for (const char* fourcc : {"MRLE", "MSVC", "VQSC", "H264"}) {
    const Conversion first = Convert(input, dir_.File("first.avi"), fourcc);
    const Conversion second = Convert(input, dir_.File("second.avi"), fourcc);
    ASSERT_EQ(first.run.exitStatus, 0) << fourcc;
    const std::string a = ReadFileBytes(first.output);
    EXPECT_FALSE(a.empty());
    EXPECT_TRUE(a == ReadFileBytes(second.output)) << fourcc;
  }
}

TEST_F(EndToEnd, ExistingOutputIsReplaced) {
  const std::string input = dir_.File("in.rcrec");
  WriteRecording(input, 64, 48, PixelLayout::Rgb32);
  const std::string output = dir_.Write("out.avi", std::string(100000, 'x'));
  const Conversion converted = Convert(input, output, "MRLE");
  ASSERT_EQ(converted.run.exitStatus, 0);
  EXPECT_EQ(DecodeVideo(output).errors, "");
}

}  // namespace
}  // namespace reelkit
