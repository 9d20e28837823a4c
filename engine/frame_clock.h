#pragma once

#include <cstdint>

#include "common/time.h"

namespace reelkit {

// The output's clock: frames follow each other one frame duration apart, from the time the first
// one is due. The video's length counts from the first input time seen, which can lie before it.
// A time of 0 stands for "not yet": a recording's clock never reads 0 in practice.
class CFrameClock {
 public:
  void SetFrameDuration(Time duration) { duration_ = duration; }
  Time FrameDuration() const { return duration_; }

  // The first call of each with a time other than 0 counts; later ones change nothing.
  void NoteInputTime(Time time) {
    if (firstInput_ == 0) {
      firstInput_ = time;
    }
  }
  void StartAt(Time time) {
    if (next_ == 0) {
      next_ = time;
    }
  }

  // When the next frame is due; 0 before the clock has started.
  Time Next() const { return next_; }
  void Advance(std::uint64_t frames = 1) { next_ += duration_ * static_cast<Time>(frames); }

  // Whole frame intervals skipped before something that starts at start: the spacers that keep
  // the video on the input's clock.
  std::uint64_t IntervalsSkippedBefore(Time start) const {
    if (start <= next_) {
      return 0;
    }
    const auto gap = static_cast<std::uint64_t>(start) - static_cast<std::uint64_t>(next_);
    return (gap - 1) / static_cast<std::uint64_t>(duration_);
  }

  std::uint32_t ElapsedSeconds() const {
    return static_cast<std::uint32_t>((next_ - firstInput_) / kTimeUnitsPerSecond);
  }

 private:
  Time duration_ = 0;
  Time firstInput_ = 0;
  Time next_ = 0;
};

}  // namespace reelkit
