// The thumbnailer as a file manager runs it: the real program on real recordings and on what is
// not one, its PNG read back with libpng.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/engine/still_picture_sessions.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"
#include "tests/thumbnailer/png_reading.h"

namespace reelkit {
namespace {

using recording::PixelLayout;
using testing::DecodedPng;
using testing::kShownQuadrants;
using testing::ReadPng;
using testing::RunProcess;
using testing::StillSession;
using testing::TempDir;

testing::ProcessResult Thumbnail(const std::string& input, const std::string& output,
                                 const std::string& size = "128") {
  return RunProcess({THUMBNAILER_BINARY, "-s", size, input, output});
}

// The files in dir other than those named.
std::vector<std::string> OtherFiles(const TempDir& dir, const std::vector<std::string>& named) {
  std::vector<std::string> others;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string path = entry.path().string();
    if (std::find(named.begin(), named.end(), path) == named.end()) {
      others.push_back(path);
    }
  }
  return others;
}

// The session's picture at 3 s, 320 x 200, scaled to fit 128: 128 x 80, each quadrant a block of
// one colour whatever the depth (the bar across the middle and the pointer lie between centres).
void ExpectShowsTheMomentATenthIn(const std::string& png) {
  const DecodedPng picture = ReadPng(png);
  ASSERT_EQ(picture.width, 128u);
  ASSERT_EQ(picture.height, 80u);
  EXPECT_FALSE(picture.IsOneColour());
  EXPECT_EQ(picture.At(32, 20), kShownQuadrants[0]);
  EXPECT_EQ(picture.At(96, 20), kShownQuadrants[1]);
  EXPECT_EQ(picture.At(32, 60), kShownQuadrants[2]);
  EXPECT_EQ(picture.At(110, 70), kShownQuadrants[3]);
  EXPECT_EQ(picture.At(32, 40), 0xFFFFFFu) << "the bar drawn at 2.6 s";
}

struct Layout {
  const char* name;
  PixelLayout layout;
};

class ThumbnailAtEveryDepth : public ::testing::TestWithParam<Layout> {};

TEST_P(ThumbnailAtEveryDepth, OfTheRecordingAndOfItsScreenStreamAvi) {
  const PixelLayout layout = GetParam().layout;
  TempDir dir;
  const std::string recording =
      dir.Write("call.rcrec", testing::RecordStillSession(StillSession{layout, layout}).span());
  const auto run = Thumbnail(recording, dir.File("recording.png"));
  EXPECT_EQ(run.exitStatus, 0);
  ExpectShowsTheMomentATenthIn(dir.File("recording.png"));

  const std::string avi = dir.File("call.avi");
  ASSERT_EQ(
      RunProcess({REELKIT_BINARY, "-in", recording, "-out", avi, "-fourcc", "VQSC"}).exitStatus, 0);
  EXPECT_EQ(Thumbnail(avi, dir.File("avi.png")).exitStatus, 0);
  ExpectShowsTheMomentATenthIn(dir.File("avi.png"));
}

INSTANTIATE_TEST_SUITE_P(Layouts, ThumbnailAtEveryDepth,
                         ::testing::Values(Layout{"Indexed8", PixelLayout::Indexed8},
                                           Layout{"Rgb555", PixelLayout::Rgb555},
                                           Layout{"Rgb565", PixelLayout::Rgb565},
                                           Layout{"Rgb24", PixelLayout::Rgb24},
                                           Layout{"Rgb32", PixelLayout::Rgb32},
                                           Layout{"Rgb32BitFields", PixelLayout::Rgb32BitFields}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Thumbnailer, FailureLeavesNoFileBehindAndExitsNonZero) {
  TempDir dir;
  const std::string notes = dir.Write("notes.rcrec", std::string(4096, 'n'));
  const std::string png = dir.File("notes.png");
  EXPECT_EQ(Thumbnail(notes, png).exitStatus, 1);
  EXPECT_EQ(OtherFiles(dir, {notes}), std::vector<std::string>{});

  // A recording is read, but the PNG cannot be made where it was asked for.
  const std::string recording = dir.Write("call.rcrec", testing::RecordStillSession({}).span());
  EXPECT_EQ(Thumbnail(recording, dir.File("no-such-folder/call.png")).exitStatus, 1);
  EXPECT_EQ(OtherFiles(dir, {notes, recording}), std::vector<std::string>{});

  EXPECT_EQ(Thumbnail(dir.File("missing.rcrec"), png).exitStatus, 1);
  EXPECT_EQ(Thumbnail(recording, png, "0").exitStatus, 2);
  EXPECT_EQ(RunProcess({THUMBNAILER_BINARY}).exitStatus, 2);
  EXPECT_EQ(OtherFiles(dir, {notes, recording}), std::vector<std::string>{});
}

// A single record that asks for hours of work: full-screen fills of a 4000 x 4000 screen, each
// 64 MB of writes. The decoding budget is only looked at between records; the watchdog ends it,
// and its word on standard error shows that it did. When is the watchdog's own affair: the test
// catches only a run that would not end.
TEST(Thumbnailer, EndsInBoundedTimeOnARecordOfEndlessWork) {
  using namespace recording;
  CRecordingWriter writer(MakeStreamFormat(4000, 4000, PixelLayout::Rgb32));
  writer.WriteInit(0, &writer.Model().NativeFormat());
  const std::vector<MoveOperation> fills(
      20000, MoveOperation{MoveKind::Fill, {0, 0, 4000, 4000}, 0, 0, 0x123456});
  writer.WriteRecord(kFourCCMove, 1, BuildMovePayload(fills, CompressionMethod::Stored));
  writer.Finish();
  TempDir dir;
  const std::string input = dir.Write("storm.rcrec", writer.Bytes().span());
  const auto run = RunProcess({"/bin/sh", "-c", "exec \"$0\" -s 128 \"$1\" \"$2\" 2>&1",
                               THUMBNAILER_BINARY, input, dir.File("storm.png")},
                              testing::StdoutKind::Pipe, testing::RunBound::HangDeadline);
  EXPECT_FALSE(run.hung);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.output, "reelkit-thumbnailer: out of time\n");
  EXPECT_EQ(OtherFiles(dir, {input}), std::vector<std::string>{});
}

// It ships in the command-line package: no Qt, and FFmpeg's libraries would cost it more time to
// load than it spends on a recording.
TEST(Thumbnailer, LinksNeitherQtNorFfmpeg) {
  const auto run = RunProcess({"/usr/bin/readelf", "-d", THUMBNAILER_BINARY});
  ASSERT_EQ(run.exitStatus, 0) << "readelf comes with build-essential";
  EXPECT_NE(run.output.find("libpng"), std::string::npos);
  EXPECT_EQ(run.output.find("libQt"), std::string::npos);
  EXPECT_EQ(run.output.find("libav"), std::string::npos);
  EXPECT_EQ(run.output.find("libsw"), std::string::npos);
}

}  // namespace
}  // namespace reelkit
