#pragma once

// Plays a scene script on the offscreen desktop and records it: every step paints only what it
// changed, converts that rectangle to the recording's pixel format and hands it to the recording
// writer (DLTA), scrolls and drags go out as MOVE copies, the pointer as MPOS and MOUS. Time runs
// on the script's clock, not the wall clock, so the same script always gives the same bytes.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include <QRect>

#include "common/byte_block.h"
#include "common/time.h"
#include "tools/recording_writer/recording_writer.h"
#include "tools/scene_generator/desktop_scene.h"
#include "tools/scene_generator/scene_script.h"

namespace reelkit::scene {

class CSceneRecorder {
 public:
  // Writes the opening records (INIT with the format, MOUS, MPOS, KFRM) at settings.start.
  // Needs a GUI application (EnsureGuiApplication).
  CSceneRecorder(const SceneSettings& settings, recording::CRecordingWriter& writer);

  // Plays the actions once, or over and over until settings.durationSeconds have passed.
  void Run(const std::vector<SceneAction>& actions);

  const CDesktopScene& Scene() const { return scene_; }
  // The screen in the recording's native format (bottom-up DIB), as the recording shows it.
  std::span<const std::uint8_t> NativeScreen() const { return target_.span(); }
  Time Now() const { return now_; }

 private:
  void Play(const SceneAction& action);
  bool TimeIsUp() const;
  void BeginStep();
  void EndStep();
  void Wait(double seconds);
  int StepsFor(double seconds) const;
  void Send(const std::vector<QRect>& rects);
  void Convert(const QRect& rect);
  void CopyBlock(const QRect& source, const QRect& target);
  void MovePointer(int x, int y);
  void RefreshPointerShape();
  void SendKeyFrame();
  void ReformatScreen(int width, int height, recording::PixelLayout layout);
  void FillTextArea(const std::string& name);

  void OpenWindow(const SceneAction& action);
  void Type(const SceneAction& action);
  void Scroll(const SceneAction& action);
  void ScrollBy(int lines);
  void Drag(const SceneAction& action);
  void Menu(const SceneAction& action);
  void Point(const SceneAction& action);
  void Focus(const std::string& name);

  SceneSettings settings_;
  recording::CRecordingWriter& writer_;
  CDesktopScene scene_;
  recording::PixelLayout layout_;
  ByteBlock target_;
  std::vector<std::uint32_t> rowPixels_;
  std::vector<recording::CursorShape> cursors_;
  Time now_ = 0;
  Time lastKeyFrame_ = 0;
  Time interval_ = 0;
  int pointerX_ = 0;
  int pointerY_ = 0;
  PointerShape pointerShape_ = PointerShape::Arrow;
};

struct SceneRecordingSummary {
  Time duration = 0;
  std::size_t records = 0;
  std::uint64_t bytes = 0;
};

// Writes the recording of a script to a file.
SceneRecordingSummary RecordSceneToFile(const SceneScript& script,
                                        const std::filesystem::path& path,
                                        recording::DeltaUnits units = recording::DeltaUnits::Words);

// The stream format and writer options a script asks for.
recording::WriterOptions WriterOptionsFor(const SceneSettings& settings,
                                          recording::DeltaUnits units);

}  // namespace reelkit::scene
