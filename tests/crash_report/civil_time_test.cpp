#include "crash_report/civil_time.h"

#include <gtest/gtest.h>

#include <string>

namespace reelkit {
namespace {

struct CivilCase {
  const char* name;
  std::int64_t seconds;
  CivilTime expected;
};

class CivilTimeTest : public ::testing::TestWithParam<CivilCase> {};

TEST_P(CivilTimeTest, MatchesTheCalendar) {
  const CivilTime time = CivilTimeFromSeconds(GetParam().seconds);
  const CivilTime& expected = GetParam().expected;
  EXPECT_EQ(time.year, expected.year);
  EXPECT_EQ(time.month, expected.month);
  EXPECT_EQ(time.day, expected.day);
  EXPECT_EQ(time.hour, expected.hour);
  EXPECT_EQ(time.minute, expected.minute);
  EXPECT_EQ(time.second, expected.second);
}

INSTANTIATE_TEST_SUITE_P(
    Instants, CivilTimeTest,
    ::testing::Values(CivilCase{"Epoch", 0, {1970, 1, 1, 0, 0, 0}},
                      CivilCase{"BeforeEpoch", -1, {1969, 12, 31, 23, 59, 59}},
                      CivilCase{"LeapDay2000", 951782400, {2000, 2, 29, 0, 0, 0}},
                      CivilCase{"AfterLeapDay2000", 951868800, {2000, 3, 1, 0, 0, 0}},
                      CivilCase{"NoLeapDay2100", 4107542400, {2100, 3, 1, 0, 0, 0}},
                      CivilCase{"BuildOfTheOriginal", 1452682803, {2016, 1, 13, 11, 0, 3}},
                      CivilCase{"EndOfYear", 1704067199, {2023, 12, 31, 23, 59, 59}}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace reelkit
