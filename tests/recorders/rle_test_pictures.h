#pragma once

#include <cstdint>
#include <vector>

class QImage;

// Screen-like pictures for the RLE encoder's tests and benchmarks, drawn with Qt so that text,
// anti-aliasing and gradients look like a real desktop's.
namespace reelkit::testing {

// width*height 0x00RRGGBB values, bottom-up rows: what the encoder takes.
using Picture = std::vector<std::uint32_t>;

// Qt draws text only once a GUI application exists; this makes one (off screen) on first use.
void EnsureGuiApplication();

// A top-down RGB32 image as a bottom-up picture, padding byte cleared.
Picture PictureFromImage(const QImage& image);

// A desktop: gradient wallpaper, two windows full of text, a task bar with a clock. Frame n types
// n characters into one window, moves the mouse pointer and advances the clock every 10 frames:
// most of the screen stays unchanged from one frame to the next.
Picture RenderDesktop(int width, int height, int frame);

// A document filling the screen, scrolled up by 3 pixels per frame: every row changes.
Picture RenderScrolledDocument(int width, int height, int frame);

// Peak signal-to-noise ratio over the three channels; infinity for equal pictures.
double PeakSignalToNoise(const Picture& expected, const Picture& actual);

}  // namespace reelkit::testing
