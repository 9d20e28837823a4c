#include "crash_report/local_zone.h"

#include <time.h>

#include <algorithm>

namespace reelkit {
namespace {

// Zones change their offset at most twice a year, never twice within a day.
constexpr std::int64_t kSampleStepSeconds = 86400;

std::int64_t OffsetAt(std::int64_t seconds) {
  const auto when = static_cast<time_t>(seconds);
  tm local{};
  return ::localtime_r(&when, &local) != nullptr ? local.tm_gmtoff : 0;
}

// The first second after `before`, up to `after`, whose offset is no longer `offset`, given that
// the offset at `after` differs.
std::int64_t FindChange(std::int64_t before, std::int64_t after, std::int64_t offset) {
  while (after - before > 1) {
    const std::int64_t middle = before + (after - before) / 2;
    if (OffsetAt(middle) == offset) {
      before = middle;
    } else {
      after = middle;
    }
  }
  return after;
}

}  // namespace

void CLocalZone::Prepare(std::int64_t from, std::int64_t until) {
  count_ = 0;
  periods_[count_++] = {from, OffsetAt(from)};
  std::int64_t sample = from;
  while (sample < until && count_ < kMaxPeriods) {
    const std::int64_t next = std::min(sample + kSampleStepSeconds, until);
    const std::int64_t offset = periods_[count_ - 1].offsetSeconds;
    if (OffsetAt(next) == offset) {
      sample = next;
      continue;
    }
    const std::int64_t change = FindChange(sample, next, offset);
    periods_[count_++] = {change, OffsetAt(change)};
    sample = change;
  }
}

CivilTime CLocalZone::LocalTime(std::int64_t seconds) const {
  std::int64_t offset = count_ > 0 ? periods_[0].offsetSeconds : 0;
  for (int i = 1; i < count_ && periods_[i].start <= seconds; ++i) {
    offset = periods_[i].offsetSeconds;
  }
  return CivilTimeFromSeconds(seconds + offset);
}

}  // namespace reelkit
