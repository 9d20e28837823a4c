// reelkit-thumbnailer -s SIZE INPUT OUTPUT.png: the picture a recording shows, for file managers.
// It runs on every file a user merely looks at, so whatever the input it ends within a bounded
// time and memory, and either writes a whole PNG or leaves no file and exits non-zero.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "engine/still_picture.h"
#include "thumbnailer/failure_message.h"
#include "thumbnailer/picture_scaling.h"
#include "thumbnailer/png_output.h"
#include "thumbnailer/thumbnail_options.h"
#include "thumbnailer/watchdog.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The decoding budget ends the search after two seconds and keeps what it has; this ends the
// process whatever it is doing.
constexpr std::chrono::seconds kHardTimeLimit{5};

int MakeThumbnail(const reelkit::ThumbnailOptions& options) {
  using namespace reelkit;
  ArmWatchdog(kHardTimeLimit);
  StillPicture picture;
  if (const auto failure = ExtractStillPicture(options.input, PictureBudget{}, picture)) {
    std::cerr << "reelkit-thumbnailer: " << options.input << ": " << DescribeFailure(*failure)
              << "\n";
    return kExitFailed;
  }
  const StillPicture thumbnail =
      ScalePicture(picture, FitInSquare(picture.width, picture.height, options.size));
  DisarmWatchdog();
  if (const int error = WritePngAtomically(options.output, thumbnail); error != 0) {
    std::cerr << "reelkit-thumbnailer: " << options.output << ": " << std::strerror(error) << "\n";
    return kExitFailed;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const auto options = reelkit::ParseThumbnailOptions(arguments);
  if (!options) {
    std::cerr << reelkit::kThumbnailerUsage;
    return kExitUsage;
  }
  return MakeThumbnail(*options);
}
