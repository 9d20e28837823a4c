#pragma once

namespace reelkit::scene {

// Text rendering needs a GUI application object. Creates one on the offscreen platform (no
// display needed) unless the process already has one; it lives until the process ends.
void EnsureGuiApplication();

}  // namespace reelkit::scene
