#pragma once

#include <string>

#include "bench/comparison/process_run.h"
#include "bench/comparison/reference_pass.h"

namespace reelkit::bench {

// Encodes raw RGB pictures (as WriteSourcePictures writes them, ten a second) to an MP4 file
// with the ffmpeg program's libx264 at its default settings, the index at the front. The cost is
// the whole ffmpeg run: reading the pictures, converting them to 4:2:0 and encoding them.
ProcessCost EncodeWithLibx264(const std::string& rgbPath, const SourcePictures& pictures,
                              const std::string& output, const std::string& scratchPath);

// The part of that run that is not encoding: the same pictures read and converted to 4:2:0 into
// ffmpeg's null output.
ProcessCost ReadRawPictures(const std::string& rgbPath, const SourcePictures& pictures,
                            const std::string& scratchPath);

struct LumaQuality {
  double psnrDb = 0;
  int pictures = 0;  // pictures compared
};

// Luma PSNR of a coded file against the raw pictures, each taken as BT.601 studio-range Y from
// RGB. The file is sampled ten times a second, so one whose pictures last several tenths is
// compared at every tenth its picture is shown.
LumaQuality MeasureLumaPsnr(const std::string& coded, const std::string& rgbPath,
                            const SourcePictures& pictures, const std::string& statsPath,
                            const std::string& scratchPath);

}  // namespace reelkit::bench
