// reelkit-record: writes raw screen recordings for tests, benchmarks and trials.

#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/record_tool/record_options.h"
#include "tools/scene_generator/gui_application.h"
#include "tools/scene_generator/png_frames.h"
#include "tools/scene_generator/scene_recorder.h"

namespace {

using namespace reelkit::scene;

std::string ReadScript(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw std::runtime_error("cannot read the script " + path);
  }
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

SceneRecordingSummary Record(const RecordOptions& options) {
  EnsureGuiApplication();
  if (options.frames) {
    SceneSettings settings;
    settings.keyFrameSeconds = 0;
    ApplyRecordOptions(options, settings);
    return RecordPngFramesToFile(*options.frames, settings, options.size.has_value(),
                                 options.output, options.units);
  }
  SceneScript script =
      ParseSceneScript(options.script ? ReadScript(*options.script) : DefaultSceneScript());
  ApplyRecordOptions(options, script.settings);
  return RecordSceneToFile(script, options.output, options.units);
}

}  // namespace

int main(int argc, char** argv) {
  RecordOptions options;
  try {
    options = ParseRecordOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::invalid_argument& error) {
    std::fprintf(stderr, "reelkit-record: %s\n%s", error.what(), kRecordUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(kRecordUsage, stdout);
    return 0;
  }
  try {
    const SceneRecordingSummary summary = Record(options);
    std::printf("%s: %zu records, %llu bytes, %.1f s of recorded time\n", options.output.c_str(),
                summary.records, static_cast<unsigned long long>(summary.bytes),
                static_cast<double>(summary.duration) / reelkit::kTimeUnitsPerSecond);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "reelkit-record: %s\n", error.what());
    return 1;
  }
}
