#pragma once

#include <chrono>
#include <cstddef>
#include <type_traits>
#include <vector>

#include "common/time.h"
#include "engine/input_file.h"
#include "engine/picture_assembler.h"
#include "engine/still_picture.h"

// What the two paths of a picture search share: when to stop, which moment to show, and how a
// search ends.
namespace reelkit {

class CSearchDeadline {
 public:
  explicit CSearchDeadline(std::chrono::milliseconds budget)
      : start_(std::chrono::steady_clock::now()), budget_(budget) {}

  // The walk through the recording takes at most half of the budget, so there is time left to
  // decode what it found.
  bool WalkIsOver() const { return std::chrono::steady_clock::now() - start_ >= budget_ / 2; }
  bool DecodingIsOver() const { return std::chrono::steady_clock::now() - start_ >= budget_; }

 private:
  std::chrono::steady_clock::time_point start_;
  std::chrono::milliseconds budget_;
};

// The moment whose picture stands for a recording that runs from first to last: a tenth of the
// way through, or the end when it is shorter than kShortestSampledRecording.
constexpr Time SampledTime(Time first, Time last) {
  const Time length = last - first;
  return length < kShortestSampledRecording ? last : first + length / 10;
}

// A key image this soon after the chosen moment is shown instead: it needs nothing decoded after
// it, where the last one before the moment may need a minute of deltas.
inline constexpr Time kKeyImageReach = 5 * kTimeUnitsPerSecond;

// Real recordings hold a key image every few seconds at most, a day of them a few thousand; more
// are thinned out rather than kept without bound.
inline constexpr std::size_t kMaxKeyImages = 1u << 16;

// Adds the newest key image, first dropping every second one kept when the list is full, so the
// list stays bounded and spread over the whole recording.
template <typename Key>
void KeepKeyImage(std::vector<Key>& keys, const std::type_identity_t<Key>& key) {
  if (keys.size() == kMaxKeyImages) {
    std::size_t kept = 0;
    for (std::size_t k = 0; k < keys.size(); k += 2) {
      keys[kept++] = keys[k];
    }
    keys.resize(kept);
  }
  keys.push_back(key);
}

// Decodes what is pending and hands out the picture; when nothing has been drawn, fails with
// ETIMEDOUT if the search stopped for time, else with ENODATA.
StillPicture DrawnPicture(CPictureAssembler& assembler, bool timedOut);

// The picture of a raw recording, the file open at its start.
StillPicture RecordingStillPicture(InputFile& file, const PictureBudget& budget,
                                   const CSearchDeadline& deadline);

// The picture of an AVI carrying the screen stream, the file open.
StillPicture AviStillPicture(InputFile& file, const PictureBudget& budget,
                             const CSearchDeadline& deadline);

}  // namespace reelkit
