#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace reelkit {

// What a file manager asks of the thumbnailer: reelkit-thumbnailer -s SIZE INPUT OUTPUT.png
struct ThumbnailOptions {
  std::uint32_t size = 0;  // the side of the square the thumbnail fits in
  std::string input;
  std::string output;
};

// Thumbnails are shown at 128 to 1024 pixels; a bound keeps a mistyped size from asking for
// gigabytes.
inline constexpr std::uint32_t kLargestThumbnailSize = 4096;

inline constexpr const char* kThumbnailerUsage =
    "usage: reelkit-thumbnailer -s SIZE INPUT OUTPUT.png\n"
    "Writes a PNG of what a recording shows, scaled to fit SIZE x SIZE pixels (1 to 4096).\n";

// The arguments after the program's name; nothing when they are not exactly that.
std::optional<ThumbnailOptions> ParseThumbnailOptions(const std::vector<std::string>& arguments);

}  // namespace reelkit
