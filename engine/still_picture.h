#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/conversion_failure.h"
#include "common/time.h"

// The engine's entry for front ends that want one picture of a recording in memory rather than a
// video file. It reads and decodes only; nothing here writes a file.
namespace reelkit {

// A picture as the recording shows it: rows from the top, 3 bytes (red, green, blue) a pixel.
struct StillPicture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgb;
};

// What looking for the picture may cost. Hostile files are met with a bound on each.
struct PictureBudget {
  // Time for the whole search. The walk through the recording stops at half of it and takes the
  // part walked for the recording; decoding stops at all of it and keeps what it has decoded.
  std::chrono::milliseconds time{2000};
  // Screens of more pixels are refused before anything is allocated for them.
  std::uint64_t pixels = std::uint64_t{1} << 24;
};

// Recordings shorter than this give their last picture: a tenth of them may well fall before the
// first key image has been drawn.
inline constexpr Time kShortestSampledRecording = 10 * kTimeUnitsPerSecond;

// Fills picture with what a recording (raw, or an AVI carrying the screen stream, recognised by
// its content as DetectInputKind does) shows a tenth of the way through its length, or at its end
// when it is shorter than kShortestSampledRecording; a key image a few seconds after that moment
// is shown instead, as nothing after it needs decoding. Never throws. On failure picture is left
// empty and the failure says why: InvalidInputFormat for a file that is not a recording, the
// readers' failures for a damaged one, LimitRefusal(DecodedPixels) for a screen over the budget,
// ReadInputFailed with ETIMEDOUT when the time ran out before any picture was drawn, and with
// ENODATA when the recording draws none.
std::optional<ConversionFailure> ExtractStillPicture(const std::string& inputPath,
                                                     const PictureBudget& budget,
                                                     StillPicture& picture);

}  // namespace reelkit
