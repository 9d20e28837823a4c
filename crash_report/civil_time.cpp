#include "crash_report/civil_time.h"

namespace reelkit {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Floor division, so instants before 1970 land on the right day.
std::int64_t FloorDivide(std::int64_t value, std::int64_t divisor) {
  const std::int64_t quotient = value / divisor;
  return (value % divisor < 0) ? quotient - 1 : quotient;
}

}  // namespace

CivilTime CivilTimeFromSeconds(std::int64_t seconds) {
  const std::int64_t days = FloorDivide(seconds, kSecondsPerDay);
  const std::int64_t secondOfDay = seconds - days * kSecondsPerDay;

  // Days to a date in eras of 400 years that start on 1 March, so the leap day ends a year.
  const std::int64_t shifted = days + 719468;
  const std::int64_t era = FloorDivide(shifted, 146097);
  const std::int64_t dayOfEra = shifted - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  const std::int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
  const std::int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

  CivilTime time;
  time.year = static_cast<int>(year);
  time.month = static_cast<int>(month);
  time.day = static_cast<int>(day);
  time.hour = static_cast<int>(secondOfDay / 3600);
  time.minute = static_cast<int>(secondOfDay / 60 % 60);
  time.second = static_cast<int>(secondOfDay % 60);
  return time;
}

}  // namespace reelkit
