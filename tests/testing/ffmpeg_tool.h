#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace reelkit::testing {

// What the independent ffmpeg tools make of a video file.
struct ProbedVideo {
  std::string codecTag;   // e.g. "mrle"
  std::string frameRate;  // r_frame_rate, e.g. "10/1"
  int width = 0;
  int height = 0;
  long frameCount = 0;    // packets counted by ffprobe
  double duration = 0.0;  // seconds, from the container
};

struct DecodedVideo {
  int width = 0;
  int height = 0;
  std::vector<std::vector<std::uint8_t>> frames;  // each width*height BGRA pixels, top row first
  std::string errors;  // everything ffmpeg printed at level "error"; empty for a clean file
  int exitStatus = -1;
};

bool FfmpegToolsAvailable();
ProbedVideo ProbeVideo(const std::string& path);
// Decodes every frame (each stored chunk, repeats included) with `ffmpeg -v error`; other output
// options pick the frames otherwise ("-fps_mode cfr -r 10": the picture shown at each tenth of a
// second).
DecodedVideo DecodeVideo(const std::string& path,
                         const std::string& outputOptions = "-fps_mode passthrough");

// Peak signal-to-noise ratio over the colour channels of two BGRA pictures of equal size, in dB;
// identical pictures give +infinity.
double PsnrBgra(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);

}  // namespace reelkit::testing
