#pragma once

// The scene script: a small line-based text that describes a recorded desktop session (windows,
// typing, scrolling, dragging, menus, pointer moves, pauses). tools/README.md documents it.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/recording_writer/pixel_layout.h"
#include "tools/recording_writer/recording_layout.h"

namespace reelkit::scene {

struct SceneSettings {
  int width = 1920;
  int height = 1080;
  recording::PixelLayout layout = recording::PixelLayout::Rgb32;
  int intervalMs = 100;
  recording::CompressionMethod compression = recording::CompressionMethod::Zlib;
  double keyFrameSeconds = 60;  // 0: only the first key frame
  double durationSeconds = 0;   // 0: the actions once; else repeated until this much time passed
  std::int64_t start = 0;       // timestamp of the first record, 100 ns units
  std::uint32_t seed = 1;
};

enum class SceneActionKind {
  Window,    // name x y w h title...
  Type,      // name seconds text...
  Scroll,    // name lines seconds
  Drag,      // name dx dy seconds
  Menu,      // name items seconds
  Point,     // x y seconds
  Idle,      // seconds
  Focus,     // name
  Close,     // name
  Format,    // width height depth
  KeyFrame,  //
};

struct SceneAction {
  SceneActionKind kind = SceneActionKind::Idle;
  int line = 0;  // in the script, for messages
  std::string name;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int count = 0;  // scroll lines, menu items
  double seconds = 0;
  std::string text;  // window title, typed text
  recording::PixelLayout layout = recording::PixelLayout::Rgb32;
};

struct SceneScript {
  SceneSettings settings;
  std::vector<SceneAction> actions;  // repeat blocks already expanded
};

class SceneScriptError : public std::runtime_error {
 public:
  SceneScriptError(int line, const std::string& message);
  int Line() const { return line_; }

 private:
  int line_;
};

// Throws SceneScriptError naming the line of the first fault.
SceneScript ParseSceneScript(std::string_view text);

// A one-minute session at whatever size: two windows, typing, scrolling, a menu, a drag, pauses.
std::string_view DefaultSceneScript();

}  // namespace reelkit::scene
