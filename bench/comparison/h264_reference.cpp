#include "bench/comparison/h264_reference.h"

#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace reelkit::bench {

namespace {

// Both sides go through RGB, decoded by the colours each file declares, so a file that declares
// BT.709 is not charged for the matrix it chose.
constexpr const char* kLumaOfRgb =
    "format=gbrp,scale=out_color_matrix=bt601:out_range=tv,format=yuv444p";

std::vector<std::string> RawPictureInput(const std::string& rgbPath,
                                         const SourcePictures& pictures) {
  return {"-f",       "rawvideo",
          "-pix_fmt", "rgb24",
          "-s",       std::to_string(pictures.width) + "x" + std::to_string(pictures.height),
          "-r",       "10",
          "-i",       rgbPath};
}

// The mean of the per-picture luma squared errors in an ffmpeg psnr stats file, and the count.
LumaQuality ReadLumaStats(const std::string& statsPath) {
  std::ifstream stats(statsPath);
  std::string line;
  double squares = 0;
  LumaQuality quality;
  while (std::getline(stats, line)) {
    const std::size_t at = line.find("mse_y:");
    if (at == std::string::npos) {
      continue;
    }
    squares += std::stod(line.substr(at + 6));
    ++quality.pictures;
  }
  if (quality.pictures == 0) {
    throw std::runtime_error("no luma figures in " + statsPath);
  }
  const double meanSquare = squares / quality.pictures;
  quality.psnrDb = meanSquare == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / meanSquare);
  return quality;
}

// Runs ffmpeg on the raw pictures with the given output arguments.
ProcessCost RunFfmpegOnRawPictures(const std::string& rgbPath, const SourcePictures& pictures,
                                   const std::vector<std::string>& outputArguments,
                                   const std::string& scratchPath) {
  std::vector<std::string> arguments = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
  const std::vector<std::string> input = RawPictureInput(rgbPath, pictures);
  arguments.insert(arguments.end(), input.begin(), input.end());
  arguments.insert(arguments.end(), outputArguments.begin(), outputArguments.end());
  const ProcessCost cost = RunProcess(arguments, "", scratchPath);
  if (cost.exitStatus != 0) {
    throw std::runtime_error("ffmpeg failed on " + rgbPath);
  }
  return cost;
}

}  // namespace

ProcessCost EncodeWithLibx264(const std::string& rgbPath, const SourcePictures& pictures,
                              const std::string& output, const std::string& scratchPath) {
  return RunFfmpegOnRawPictures(
      rgbPath, pictures,
      {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-movflags", "+faststart", output}, scratchPath);
}

ProcessCost ReadRawPictures(const std::string& rgbPath, const SourcePictures& pictures,
                            const std::string& scratchPath) {
  return RunFfmpegOnRawPictures(rgbPath, pictures, {"-pix_fmt", "yuv420p", "-f", "null", "-"},
                                scratchPath);
}

LumaQuality MeasureLumaPsnr(const std::string& coded, const std::string& rgbPath,
                            const SourcePictures& pictures, const std::string& statsPath,
                            const std::string& scratchPath) {
  std::vector<std::string> arguments = {"ffmpeg", "-nostdin", "-v", "error", "-i", coded};
  const std::vector<std::string> input = RawPictureInput(rgbPath, pictures);
  arguments.insert(arguments.end(), input.begin(), input.end());
  const std::string graph = std::string("[0:v]fps=10,") + kLumaOfRgb + "[coded];[1:v]" +
                            kLumaOfRgb + "[source];[coded][source]psnr=stats_file=" + statsPath;
  arguments.insert(arguments.end(), {"-lavfi", graph, "-f", "null", "-"});
  if (RunProcess(arguments, "", scratchPath).exitStatus != 0) {
    throw std::runtime_error("ffmpeg could not compare " + coded + " with its pictures");
  }
  return ReadLumaStats(statsPath);
}

}  // namespace reelkit::bench
