// A pass-through recording past 1 GB: the file goes on in OpenDML form and reads back whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "recorders/avi_recorder.h"
#include "recorders/codec_module.h"
#include "tests/testing/ffmpeg_tool.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

constexpr std::size_t kBundleSize = 4 * 1024 * 1024;
constexpr int kBundles = 280;  // about 1.1 GB

TEST(AviLargeFileTest, PassThroughPastOneGigabyteReadsBackWhole) {
  if (!testing::FfmpegToolsAvailable()) {
    GTEST_SKIP() << "ffmpeg and ffprobe are needed to read the file back";
  }
  ASSERT_TRUE(RegisterCodecModuleAt(VQCODEC_MODULE_PATH));
  testing::TempDir dir;
  const std::string path = dir.File("large.avi");
  BitmapInfoHeader header;
  header.width = 1920;
  header.height = 1080;
  BitmapFormat format(header);
  format.SetPictureFormat(32, kCompressionRgb);
  std::vector<std::uint8_t> bundle(kBundleSize);
  {
    CAviRecorder recorder(30.0, kFourCCScreenCodec);
    recorder.Open(path);
    for (int i = 0; i < kBundles; ++i) {
      bundle[0] = static_cast<std::uint8_t>(i);
      bundle[kBundleSize - 1] = static_cast<std::uint8_t>(i * 7);
      ASSERT_EQ(recorder.Write(i % 50 == 0 ? SampleKind::KeyBundle : SampleKind::Bundle, format,
                               bundle, i * recorder.FrameDuration()),
                0u);
    }
    ASSERT_EQ(recorder.Close(), 0u);
  }
  EXPECT_GT(std::filesystem::file_size(path), std::uintmax_t{1} << 30);

  const testing::ProbedVideo probed = testing::ProbeVideo(path);
  EXPECT_EQ(probed.frameCount, kBundles);
  EXPECT_EQ(probed.codecTag, "VQSC");
  const auto copied = testing::RunProcess(
      {"/bin/sh", "-c", "ffmpeg -nostdin -v error -i '" + path + "' -c copy -f null - 2>&1"});
  EXPECT_EQ(copied.output, "");
  // Every chunk whole: the tag and the bundle, in the first RIFF and in the OpenDML ones.
  const auto sizes = testing::RunProcess(
      {"/bin/sh", "-c",
       "ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 '" + path +
           "' | sort | uniq -c"});
  EXPECT_EQ(sizes.output,
            "    " + std::to_string(kBundles) + " " + std::to_string(kBundleSize + 4) + "\n");
  const auto riffs =
      testing::RunProcess({"/bin/sh", "-c", "grep -c -a -o 'AVIXLIST' '" + path + "'"});
  EXPECT_NE(riffs.output, "0\n");
}

}  // namespace
}  // namespace reelkit
