// Speed of the recording writer and the scene generator: ten minutes of a 1920x1080 32-bit
// session must be written in well under a minute so benchmarks and long tests can make them.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "tools/recording_writer/recording_writer.h"
#include "tools/scene_generator/gui_application.h"
#include "tools/scene_generator/scene_recorder.h"
#include "tools/scene_generator/scene_script.h"

namespace {

using namespace reelkit;
using recording::PixelLayout;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

std::vector<std::uint8_t> Desktop(std::uint32_t shift) {
  std::vector<std::uint8_t> image(static_cast<std::size_t>(kWidth) * kHeight * 4);
  for (std::size_t i = 0; i < image.size(); i += 4) {
    const auto pixel = static_cast<std::uint32_t>(i / 4 / kWidth + shift) * 0x00010203u;
    image[i] = static_cast<std::uint8_t>(pixel);
    image[i + 1] = static_cast<std::uint8_t>(pixel >> 8);
    image[i + 2] = static_cast<std::uint8_t>(pixel >> 16);
  }
  return image;
}

void BM_TenMinutesOfScene1080p32(benchmark::State& state) {
  scene::EnsureGuiApplication();
  scene::SceneScript script = scene::ParseSceneScript(scene::DefaultSceneScript());
  script.settings.width = kWidth;
  script.settings.height = kHeight;
  script.settings.layout = PixelLayout::Rgb32;
  script.settings.durationSeconds = 600;
  for (auto _ : state) {
    recording::CRecordingWriter writer(
        recording::MakeStreamFormat(kWidth, kHeight, PixelLayout::Rgb32),
        scene::WriterOptionsFor(script.settings, recording::DeltaUnits::Words));
    scene::CSceneRecorder recorder(script.settings, writer);
    recorder.Run(script.actions);
    state.counters["records"] = static_cast<double>(writer.RecordCount());
    state.counters["file_MB"] = static_cast<double>(writer.BytesWritten()) / 1e6;
    state.counters["recorded_s"] =
        static_cast<double>(recorder.Now() - script.settings.start) / kTimeUnitsPerSecond;
  }
}
BENCHMARK(BM_TenMinutesOfScene1080p32)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// One typed line: the common small change.
void BM_DeltaOfOneTextLine1080p32(benchmark::State& state) {
  recording::CRecordingWriter writer(
      recording::MakeStreamFormat(kWidth, kHeight, PixelLayout::Rgb32));
  const BitmapFormat format = writer.Model().NativeFormat();
  writer.WriteFormat(0, &format);
  std::vector<std::uint8_t> first = Desktop(0);
  std::vector<std::uint8_t> second = Desktop(1);
  writer.WriteKeyFrame(0, first);
  const recording::ScreenRect line{400, 500, 900, 18};
  Time now = 1;
  for (auto _ : state) {
    writer.WriteDeltaRect(now, line, (now % 2 == 0) ? second : first);
    ++now;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DeltaOfOneTextLine1080p32)->Unit(benchmark::kMicrosecond);

// A whole changed screen: the worst case of one capture.
void BM_DeltaOfWholeScreen1080p32(benchmark::State& state) {
  recording::CRecordingWriter writer(
      recording::MakeStreamFormat(kWidth, kHeight, PixelLayout::Rgb32));
  const BitmapFormat format = writer.Model().NativeFormat();
  writer.WriteFormat(0, &format);
  const std::vector<std::uint8_t> images[3] = {Desktop(0), Desktop(1), Desktop(2)};
  Time now = 1;
  for (auto _ : state) {
    writer.WriteDelta(now, images[now % 3]);
    ++now;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(images[0].size()));
}
BENCHMARK(BM_DeltaOfWholeScreen1080p32)->Unit(benchmark::kMillisecond);

void BM_KeyFrame1080p32(benchmark::State& state) {
  recording::CRecordingWriter writer(
      recording::MakeStreamFormat(kWidth, kHeight, PixelLayout::Rgb32));
  const BitmapFormat format = writer.Model().NativeFormat();
  writer.WriteFormat(0, &format);
  const std::vector<std::uint8_t> image = Desktop(0);
  Time now = 1;
  for (auto _ : state) {
    writer.WriteKeyFrame(now++, image);
  }
}
BENCHMARK(BM_KeyFrame1080p32)->Unit(benchmark::kMillisecond);

}  // namespace
