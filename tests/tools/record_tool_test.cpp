#include <gtest/gtest.h>

#include <QImage>

#include <string>
#include <vector>

#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"
#include "tests/tools/product_reading.h"
#include "tools/recording_writer/pixel_layout.h"
#include "tools/scene_generator/gui_application.h"

namespace reelkit::testing {
namespace {

using recording::PaintPicture;
using recording::PixelLayout;

class RecordToolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { scene::EnsureGuiApplication(); }

  static ProcessResult Run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), RECORD_TOOL);
    return RunProcess(arguments);
  }
};

// The screen the product's decoder makes of the whole recording.
Bytes DecodedScreen(const ReadRecording& recording) {
  CRecordingDecoder decoder(recording.streamFormat);
  decoder.Decode(recording);
  return decoder.Screen();
}

std::uint32_t FrameColor(int frame, int x, int y) {
  return x < 20 + frame * 10 && y > 5 ? 0xFF3366CCu : 0xFFEEEEEEu - static_cast<std::uint32_t>(y);
}

void SavePng(const std::string& path, int frame, int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.setPixel(x, y, FrameColor(frame, x, y));
    }
  }
  ASSERT_TRUE(image.save(QString::fromStdString(path), "PNG"));
}

TEST_F(RecordToolTest, HelpAndBadOptions) {
  struct Row {
    const char* name;
    std::vector<std::string> arguments;
    int exitStatus;
  };
  const Row rows[] = {
      {"help", {"--help"}, 0},
      {"no output", {"--depth", "32"}, 2},
      {"unknown option", {"-o", "x.rcrec", "--colour", "red"}, 2},
      {"bad depth", {"-o", "x.rcrec", "--depth", "12"}, 2},
      {"bad size", {"-o", "x.rcrec", "--size", "100"}, 2},
      {"script and frames", {"-o", "x.rcrec", "--script", "a", "--frames", "b"}, 2},
      {"missing script", {"-o", "/nonexistent-dir/x.rcrec", "--script", "/nonexistent"}, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ProcessResult result = Run(row.arguments);
    EXPECT_EQ(result.exitStatus, row.exitStatus);
    if (row.exitStatus == 0) {
      EXPECT_NE(result.output.find("Usage: reelkit-record"), std::string::npos);
    }
  }
}

TEST_F(RecordToolTest, WritesAScriptWithTheGivenFormat) {
  TempDir dir;
  const std::string script =
      dir.Write("scene.txt", "window w 10 10 150 100 Test\ntype w 0.5 abc\nidle 1\n");
  const std::string output = dir.File("out.rcrec");
  const ProcessResult result = Run({"--script", script, "--size", "200x150", "--depth", "24",
                                    "--compression", "lzf", "--interval", "40", "-o", output});
  ASSERT_EQ(result.exitStatus, 0) << result.output;
  EXPECT_NE(result.output.find("records"), std::string::npos);
  const ReadRecording recording = ReadRecordingFile(output);
  EXPECT_EQ(recording.streamFormat.Header().width, 200);
  EXPECT_EQ(recording.streamFormat.Header().height, 150);
  EXPECT_EQ(recording.streamFormat.Header().bitCount, 24u);
  bool sawLzf = false;
  for (const RecordingPacket& record : recording.records) {
    if (record.kind == PacketKind::Dlta) {
      sawLzf =
          sawLzf || ReadStoredDelta(PayloadOf(record)).method == recording::CompressionMethod::Lzf;
    }
  }
  EXPECT_TRUE(sawLzf);
  EXPECT_FALSE(DecodedScreen(recording).empty());
}

TEST_F(RecordToolTest, RecordsPngFramesInNameOrder) {
  TempDir dir;
  const std::filesystem::path frames = dir.path() / "frames";
  std::filesystem::create_directory(frames);
  for (int frame = 0; frame < 3; ++frame) {
    SavePng((frames / ("frame" + std::to_string(frame) + ".png")).string(), frame, 64, 48);
  }
  const std::string output = dir.File("frames.rcrec");
  const ProcessResult result =
      Run({"--frames", frames.string(), "--depth", "565", "--interval", "200", "-o", output});
  ASSERT_EQ(result.exitStatus, 0) << result.output;
  const ReadRecording recording = ReadRecordingFile(output);
  ASSERT_GE(recording.records.size(), 4u);
  EXPECT_EQ(recording.records[0].kind, PacketKind::Init);
  EXPECT_EQ(recording.records[1].kind, PacketKind::Kfrm);
  EXPECT_EQ(recording.records.back().timestamp, 2 * 2'000'000);
  EXPECT_EQ(DecodedScreen(recording), PaintPicture(64, 48, PixelLayout::Rgb565, [](int x, int y) {
              return FrameColor(2, x, y) & 0xFFFFFF;
            }));

  SavePng((frames / "frame9.png").string(), 0, 32, 32);
  EXPECT_EQ(Run({"--frames", frames.string(), "-o", dir.File("bad.rcrec")}).exitStatus, 1)
      << "a picture of another size";
}

}  // namespace
}  // namespace reelkit::testing

namespace reelkit::testing {
namespace {

TEST_F(RecordToolTest, BundledSampleIsWholeAndRemadeByItsCommand) {
  const std::string sample = std::string(REELKIT_SOURCE_DIR) + "/resources/sample.rcrec";
  const ReadRecording recording = ReadRecordingFile(sample);
  EXPECT_FALSE(recording.refused);
  ASSERT_GT(recording.records.size(), 100u);
  EXPECT_GT(recording.records.back().timestamp - recording.records.front().timestamp,
            30 * 10'000'000LL);
  EXPECT_FALSE(DecodedScreen(recording).empty());

  TempDir dir;
  const std::string remade = dir.File("sample.rcrec");
  ASSERT_EQ(Run({"--script", std::string(REELKIT_SOURCE_DIR) + "/resources/sample_scene.txt", "-o",
                 remade})
                .exitStatus,
            0);
  EXPECT_TRUE(ReadFileBytes(remade) == ReadFileBytes(sample))
      << "resources/README.md gives the command that remakes the sample";
}

}  // namespace
}  // namespace reelkit::testing
