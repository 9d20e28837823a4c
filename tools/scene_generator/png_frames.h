#pragma once

// Records a folder of PNG pictures as a screen recording: one picture per capture interval,
// sorted by file name, each sent as the change from the one before.

#include <filesystem>

#include "tools/recording_writer/recording_writer.h"
#include "tools/scene_generator/scene_recorder.h"
#include "tools/scene_generator/scene_script.h"

namespace reelkit::scene {

// The screen size is the first picture's unless settings carry one (sizeFromSettings); every
// picture must have that size. Throws std::runtime_error naming the file at fault.
SceneRecordingSummary RecordPngFramesToFile(const std::filesystem::path& folder,
                                            const SceneSettings& settings, bool sizeFromSettings,
                                            const std::filesystem::path& output,
                                            recording::DeltaUnits units);

}  // namespace reelkit::scene
