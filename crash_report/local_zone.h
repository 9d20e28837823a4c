#pragma once

#include <cstdint>

#include "crash_report/civil_time.h"

namespace reelkit {

// The local time zone's offsets from UTC over a span of time, gathered while the C library may
// still be asked, so that a signal handler can turn any instant of the span into local time, on
// either side of a daylight-saving change.
class CLocalZone {
 public:
  // Asks the C library (and so the TZ setting) for the offsets in force from `from` to `until`,
  // in seconds since 1970-01-01 UTC. Not safe in a signal handler.
  void Prepare(std::int64_t from, std::int64_t until);

  // The local date and time of an instant. Before the span the offset at its start applies, after
  // it the last one; unprepared, UTC. Safe in a signal handler.
  CivilTime LocalTime(std::int64_t seconds) const;

 private:
  struct Period {
    std::int64_t start = 0;
    std::int64_t offsetSeconds = 0;
  };
  // Far more than the changes of a decade in any zone.
  static constexpr int kMaxPeriods = 64;

  Period periods_[kMaxPeriods];
  int count_ = 0;
};

}  // namespace reelkit
