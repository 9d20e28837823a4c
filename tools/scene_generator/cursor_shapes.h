#pragma once

#include "tools/recording_writer/payloads.h"
#include "tools/scene_generator/desktop_scene.h"

namespace reelkit::scene {

// The pointer images of the scene, drawn offscreen: black outline, white body, soft grey edges
// where antialiasing leaves them, and the transparent key colour around.
recording::CursorShape MakeCursorShape(PointerShape shape);

}  // namespace reelkit::scene
