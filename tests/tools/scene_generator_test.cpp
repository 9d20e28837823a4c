#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "common/packet_kind.h"
#include "tests/tools/product_reading.h"
#include "tools/scene_generator/desktop_scene.h"
#include "tools/scene_generator/gui_application.h"
#include "tools/scene_generator/scene_recorder.h"
#include "tools/scene_generator/scene_script.h"

namespace reelkit::testing {
namespace {

using recording::PixelLayout;
using scene::ParseSceneScript;
using scene::SceneScript;
using scene::SceneScriptError;

class SceneTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { scene::EnsureGuiApplication(); }
};

struct SceneRun {
  Bytes bytes;
  Bytes nativeScreen;
  Bytes modelScreen;
  bool repaintMatches = false;
};

SceneRun RunScene(const std::string& text, PixelLayout layout, int width = 480, int height = 360) {
  SceneScript script = ParseSceneScript(text);
  script.settings.width = width;
  script.settings.height = height;
  script.settings.layout = layout;
  recording::CRecordingWriter writer(
      recording::MakeStreamFormat(width, height, layout),
      scene::WriterOptionsFor(script.settings, recording::DeltaUnits::Words));
  scene::CSceneRecorder recorder(script.settings, writer);
  recorder.Run(script.actions);
  SceneRun run;
  run.bytes.assign(writer.Bytes().span().begin(), writer.Bytes().span().end());
  run.nativeScreen.assign(recorder.NativeScreen().begin(), recorder.NativeScreen().end());
  run.modelScreen.assign(writer.Screen().begin(), writer.Screen().end());
  scene::CDesktopScene repainted = recorder.Scene();
  repainted.PaintAll();
  run.repaintMatches = repainted.Screen() == recorder.Scene().Screen();
  return run;
}

const char* const kBusyScript = R"(interval 50
keyframes 2
window doc 20 20 300 220 Document
window memo 150 120 280 180 Memo
type memo 1 hello world\nsecond line that is long enough to wrap around the edge of the memo window
scroll doc 9 0.5
scroll doc -4 0.3
menu doc 3 0.6
drag memo -90 40 0.4
point 10 10 0.2
idle 1.5
close memo
format 400 300 565
type doc 0.3 after the change
)";

TEST_F(SceneTest, RecordingReplaysToTheSceneAtEveryDepth) {
  for (PixelLayout layout : {PixelLayout::Indexed8, PixelLayout::Rgb555, PixelLayout::Rgb565,
                             PixelLayout::Rgb24, PixelLayout::Rgb32, PixelLayout::Rgb32BitFields}) {
    SCOPED_TRACE(std::string(recording::PixelLayoutName(layout)));
    const SceneRun run = RunScene(kBusyScript, layout);
    const ReadRecording read = ReadRecordingBytes(run.bytes);
    CRecordingDecoder decoder(read.streamFormat);
    std::map<PacketKind, int> kinds;
    for (const RecordingPacket& record : read.records) {
      decoder.Decode(record);
      ++kinds[record.kind];
    }
    EXPECT_FALSE(read.refused);
    EXPECT_EQ(decoder.Screen(), run.nativeScreen) << "decoded screen differs";
    EXPECT_EQ(run.modelScreen, run.nativeScreen);
    EXPECT_TRUE(run.repaintMatches) << "painting only the changes drifted from a full repaint";
    EXPECT_EQ(kinds[PacketKind::Init], 1);
    EXPECT_EQ(kinds[PacketKind::Fint], 1) << "the format change";
    EXPECT_GE(kinds[PacketKind::Kfrm], 3) << "first, periodic and after the format change";
    EXPECT_GT(kinds[PacketKind::Dlta], 20);
    EXPECT_GT(kinds[PacketKind::Move], 5);
    EXPECT_GT(kinds[PacketKind::Mpos], 5);
    EXPECT_GE(kinds[PacketKind::Mous], 2) << "the pointer changes shape";
    EXPECT_EQ(kinds[PacketKind::None], 0);
    const auto runs = DeltaRuns(read);
    EXPECT_GT(runs[12] + runs[2], 0) << "closing the menu swaps the old content back";
  }
}

TEST_F(SceneTest, SameScriptGivesSameBytes) {
  const SceneRun first = RunScene(kBusyScript, PixelLayout::Rgb32);
  const SceneRun second = RunScene(kBusyScript, PixelLayout::Rgb32);
  EXPECT_EQ(first.bytes, second.bytes);
  const SceneRun otherSeed = RunScene(std::string("seed 7\n") + kBusyScript, PixelLayout::Rgb32);
  EXPECT_NE(first.bytes, otherSeed.bytes);
}

TEST_F(SceneTest, IdlePausesLeaveGapsAndMovesCarryAllKinds) {
  const SceneRun run = RunScene(kBusyScript, PixelLayout::Rgb32);
  const ReadRecording read = ReadRecordingBytes(run.bytes);
  const auto& records = read.records;
  std::int64_t longestGap = 0;
  std::map<recording::MoveKind, int> moveKinds;
  for (std::size_t i = 1; i < records.size(); ++i) {
    longestGap = std::max(longestGap, records[i].timestamp - records[i - 1].timestamp);
    EXPECT_GE(records[i].timestamp, records[i - 1].timestamp) << "record " << i;
    if (records[i].kind == PacketKind::Move) {
      for (const recording::MoveKind kind : StoredMoveKinds(PayloadOf(records[i]))) {
        ++moveKinds[kind];
      }
    }
  }
  EXPECT_GE(longestGap, 15'000'000) << "the idle 1.5 s leaves a gap for spacer frames";
  EXPECT_GT(moveKinds[recording::MoveKind::Copy], 0) << "copies";
  EXPECT_GT(moveKinds[recording::MoveKind::Fill], 0) << "fills";
  EXPECT_GT(moveKinds[recording::MoveKind::Save], 0) << "saves";
}

TEST_F(SceneTest, DurationRepeatsTheScriptAndStopsInTime) {
  const SceneRun run = RunScene(
      "duration 12\nwindow a 10 10 200 150\nscroll a 5 1\nidle 2\n"
      "scroll a -5 1\n",
      PixelLayout::Rgb555, 320, 240);
  const ReadRecording read = ReadRecordingBytes(run.bytes);
  ASSERT_FALSE(read.records.empty());
  const std::int64_t span = read.records.back().timestamp - read.records.front().timestamp;
  EXPECT_GT(span, 9 * 10'000'000LL);
  EXPECT_LT(span, 12 * 10'000'000LL);
}

TEST(SceneScriptTest, ParsesSettingsActionsAndRepeats) {
  const SceneScript script = ParseSceneScript(
      "# comment\nsize 800 600\ndepth 565\ninterval 40\ncompression lzf\nkeyframes 0\n"
      "duration 90\nstart 123\nseed 5\n"
      "window w 1 2 300 200 My  title\nrepeat 3\ntype w 1.5 a\\nb # not a comment\n"
      "repeat 2\nidle 1\nend\nend\nformat 640 480 8\nkeyframe\n");
  EXPECT_EQ(script.settings.width, 800);
  EXPECT_EQ(script.settings.height, 600);
  EXPECT_EQ(script.settings.layout, PixelLayout::Rgb565);
  EXPECT_EQ(script.settings.intervalMs, 40);
  EXPECT_EQ(script.settings.compression, recording::CompressionMethod::Lzf);
  EXPECT_EQ(script.settings.keyFrameSeconds, 0);
  EXPECT_EQ(script.settings.durationSeconds, 90);
  EXPECT_EQ(script.settings.start, 123);
  EXPECT_EQ(script.settings.seed, 5u);
  ASSERT_EQ(script.actions.size(), 1u + 3 * 3 + 2);
  EXPECT_EQ(script.actions[0].text, "My  title");
  EXPECT_EQ(script.actions[1].text, "a\nb # not a comment");
  EXPECT_EQ(script.actions[1].seconds, 1.5);
  EXPECT_EQ(script.actions[10].kind, scene::SceneActionKind::Format);
  EXPECT_EQ(script.actions[10].layout, PixelLayout::Indexed8);
}

TEST(SceneScriptTest, NamesTheFaultyLine) {
  struct Row {
    const char* name;
    const char* text;
    int line;
    const char* message;
  };
  const Row rows[] = {
      {"unknown command", "idle 1\njump 3\n", 2, "unknown command: jump"},
      {"bad number", "window w 1 2 x 100\n", 1, "not a whole number: x"},
      {"too small window", "window w 0 0 50 50\n", 1, "at least 120 x 80"},
      {"bad depth", "depth 12\n", 1, "depth must be"},
      {"negative seconds", "idle -1\n", 1, "not a number of seconds"},
      {"setting after action", "idle 1\nsize 640 480\n", 2, "settings come before"},
      {"tiny screen", "size 8 8\n", 1, "16 to 8192"},
      {"open repeat", "repeat 2\nidle 1\n", 1, "repeat without end"},
      {"stray end", "end\n", 1, "end without repeat"},
      {"huge repeat", "repeat 100000\nrepeat 100000\nidle 1\nend\nend\n", 5, "million"},
      {"missing words", "scroll w 3\n", 1, "scroll NAME LINES SECONDS"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    try {
      ParseSceneScript(row.text);
      ADD_FAILURE() << "accepted";
    } catch (const SceneScriptError& error) {
      EXPECT_EQ(error.Line(), row.line);
      EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos) << error.what();
    }
  }
}

TEST(SceneScriptTest, DefaultScriptParses) {
  const SceneScript script = ParseSceneScript(scene::DefaultSceneScript());
  EXPECT_GT(script.actions.size(), 10u);
}

}  // namespace
}  // namespace reelkit::testing
