#pragma once

#include <cstdint>

namespace reelkit {

// A calendar date and time of day, with no time zone attached.
struct CivilTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The proleptic Gregorian date and time that lies the given number of seconds after
// 1970-01-01 00:00:00. Pure arithmetic, so a signal handler may call it where localtime_r (which
// takes a lock and may read the zone file) would be unsafe.
CivilTime CivilTimeFromSeconds(std::int64_t seconds);

}  // namespace reelkit
