#pragma once

// Command line of reelkit-record.

#include <optional>
#include <string>
#include <vector>

#include "tools/recording_writer/delta_encoder.h"
#include "tools/scene_generator/scene_script.h"

namespace reelkit::scene {

// Options given on the command line; each overrides the script's setting of the same name.
struct RecordOptions {
  std::string output;
  std::optional<std::string> script;
  std::optional<std::string> frames;
  std::optional<std::pair<int, int>> size;
  std::optional<recording::PixelLayout> layout;
  std::optional<double> durationSeconds;
  std::optional<int> intervalMs;
  std::optional<recording::CompressionMethod> compression;
  std::optional<double> keyFrameSeconds;
  std::optional<std::uint32_t> seed;
  recording::DeltaUnits units = recording::DeltaUnits::Words;
  bool help = false;
};

// Throws std::invalid_argument with a sentence for the user.
RecordOptions ParseRecordOptions(const std::vector<std::string>& arguments);

void ApplyRecordOptions(const RecordOptions& options, SceneSettings& settings);

extern const char* const kRecordUsage;

}  // namespace reelkit::scene
