#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <string>
#include <vector>

namespace reelkit::testing {

// Makes the plugin of the build folder the one GStreamer finds, with a registry of the tests' own,
// and initialises GStreamer. Tools started afterwards inherit the same environment.
void UseBuiltPlugin();

// A picture as 0x00RRGGBB values, top row first, and when it is shown.
struct ShownPicture {
  GstClockTime pts = GST_CLOCK_TIME_NONE;
  GstClockTime duration = GST_CLOCK_TIME_NONE;
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// What playbin made of a file: every picture that reached its video sink, as 32-bit pixels, and
// the first error on the bus.
struct Playback {
  std::vector<ShownPicture> pictures;
  std::string error;  // empty when the stream ended without one
  bool timedOut = false;
};

// Plays the file to its end (or its first error) as fast as it decodes.
Playback PlayFile(const std::string& path, GstClockTime timeout = 30 * GST_SECOND);

// Pauses playbin on the file, seeks accurately to each time and takes the picture shown there.
std::vector<ShownPicture> PicturesAfterSeeks(const std::string& path,
                                             const std::vector<GstClockTime>& times);

// The picture shown at time: the last one that starts at or before it.
const ShownPicture* PictureAt(const std::vector<ShownPicture>& pictures, GstClockTime time);

}  // namespace reelkit::testing
