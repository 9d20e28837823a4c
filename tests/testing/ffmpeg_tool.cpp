#include "tests/testing/ffmpeg_tool.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"

namespace reelkit::testing {
namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

ProcessResult RunShell(const std::string& command) {
  return RunProcess({"/bin/sh", "-c", command});
}

std::string Field(const std::string& output, const std::string& key) {
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(key + "=", 0) == 0) {
      return line.substr(key.size() + 1);
    }
  }
  return {};
}

}  // namespace

bool FfmpegToolsAvailable() {
  return RunShell("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null").exitStatus == 0;
}

ProbedVideo ProbeVideo(const std::string& path) {
  const auto result = RunShell(
      "ffprobe -v error -count_packets -select_streams v:0 -show_entries "
      "stream=codec_tag_string,r_frame_rate,width,height,nb_read_packets:format=duration "
      "-of default=noprint_wrappers=1 " +
      Quoted(path));
  ProbedVideo probed;
  probed.codecTag = Field(result.output, "codec_tag_string");
  probed.frameRate = Field(result.output, "r_frame_rate");
  probed.width = std::atoi(Field(result.output, "width").c_str());
  probed.height = std::atoi(Field(result.output, "height").c_str());
  probed.frameCount = std::atol(Field(result.output, "nb_read_packets").c_str());
  probed.duration = std::atof(Field(result.output, "duration").c_str());
  return probed;
}

DecodedVideo DecodeVideo(const std::string& path, const std::string& outputOptions) {
  DecodedVideo decoded;
  const ProbedVideo probed = ProbeVideo(path);
  decoded.width = probed.width;
  decoded.height = probed.height;
  TempDir dir;
  const std::string errors = dir.File("errors.txt");
  // passthrough keeps one output picture per stored chunk, repeats included.
  const auto result = RunShell("ffmpeg -nostdin -v error -i " + Quoted(path) + " " + outputOptions +
                               " -f rawvideo -pix_fmt bgra - 2>" + Quoted(errors));
  decoded.exitStatus = result.exitStatus;
  decoded.errors = ReadFileBytes(errors);
  const std::size_t pictureSize = static_cast<std::size_t>(decoded.width) * decoded.height * 4;
  for (std::size_t at = 0; pictureSize > 0 && at + pictureSize <= result.output.size();
       at += pictureSize) {
    decoded.frames.emplace_back(
        result.output.begin() + static_cast<std::ptrdiff_t>(at),
        result.output.begin() + static_cast<std::ptrdiff_t>(at + pictureSize));
  }
  return decoded;
}

double PsnrBgra(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) {
    return 0.0;
  }
  double squared = 0.0;
  std::size_t samples = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (i % 4 == 3) {
      continue;  // alpha carries nothing
    }
    const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
    squared += d * d;
    ++samples;
  }
  if (squared == 0.0) {
    return std::numeric_limits<double>::infinity();
  }
  const double mse = squared / static_cast<double>(samples);
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace reelkit::testing
