#include "core/date.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "core/instant.hpp"

namespace vyr {
namespace {

TEST(Date, UnixEpochHasItsDayNumber) {
  const auto epoch = Date::from_ymd(1970, 1, 1);
  ASSERT_TRUE(epoch);
  EXPECT_EQ(epoch->day_number(), 719163);
  EXPECT_EQ(Date::from_ymd(1, 1, 1)->day_number(), 1);
}

TEST(Date, RoundTripsAcrossTheWholeRange) {
  for (const std::int64_t year : {Date::kMinYear, -1L, 0L, 1L, 1600L, 1900L, 2000L, 2024L,
                                  9999L, Date::kMaxYear}) {
    for (unsigned month = 1; month <= 12; ++month) {
      const unsigned last = days_in_month(year, month);
      for (const unsigned day : {1u, last}) {
        const auto date = Date::from_ymd(year, month, day);
        ASSERT_TRUE(date) << year << "-" << month << "-" << day;
        const YearMonthDay ymd = date->ymd();
        EXPECT_EQ(ymd.year, year);
        EXPECT_EQ(ymd.month, month);
        EXPECT_EQ(ymd.day, day);
      }
    }
  }
}

TEST(Date, RejectsInvalidAndOutOfRangeDates) {
  EXPECT_FALSE(Date::from_ymd(2023, 2, 29));
  EXPECT_TRUE(Date::from_ymd(2024, 2, 29));
  EXPECT_FALSE(Date::from_ymd(1900, 2, 29));
  EXPECT_TRUE(Date::from_ymd(2000, 2, 29));
  EXPECT_FALSE(Date::from_ymd(2024, 4, 31));
  EXPECT_FALSE(Date::from_ymd(2024, 13, 1));
  EXPECT_FALSE(Date::from_ymd(2024, 0, 1));
  EXPECT_FALSE(Date::from_ymd(2024, 1, 0));
  EXPECT_FALSE(Date::from_ymd(Date::kMaxYear + 1, 1, 1));
  EXPECT_FALSE(Date::from_ymd(Date::kMinYear - 1, 12, 31));
}

TEST(Date, PlusDaysStopsAtTheCalendarEdges) {
  const Date last = *Date::from_ymd(Date::kMaxYear, 12, 31);
  EXPECT_FALSE(last.plus_days(1));
  EXPECT_EQ(last.plus_days(-1)->ymd().day, 30u);
  const Date first = *Date::from_ymd(Date::kMinYear, 1, 1);
  EXPECT_FALSE(first.plus_days(-1));
  EXPECT_FALSE(first.plus_days(INT64_MIN));
  EXPECT_FALSE(first.plus_days(INT64_MAX));
}

TEST(Instant, FromUnixSplitsDaysForInstantsBefore1970) {
  const auto instant = Instant::from_unix(-1, 0);
  ASSERT_TRUE(instant);
  EXPECT_EQ(instant->date().day_number(), 719162);
  EXPECT_EQ(instant->seconds_of_day(), 86399u);
}

TEST(Instant, LeapSecondNanosecondsOnlyOnSecond59) {
  EXPECT_TRUE(Instant::from_unix(59, 1'500'000'000));
  EXPECT_FALSE(Instant::from_unix(58, 1'500'000'000));
  EXPECT_FALSE(Instant::from_unix(59, 2'000'000'000));
}

TEST(Instant, TimestampSplitVariants) {
  // Truncating drops the fraction of a negative timestamp; rounding floors the seconds.
  const auto truncated = instant_from_timestamp(-0.5, TimestampSplit::Truncating);
  ASSERT_TRUE(truncated);
  EXPECT_EQ(*truncated, *Instant::from_unix(0, 0));
  const auto rounded = instant_from_timestamp(-0.5, TimestampSplit::Rounding);
  ASSERT_TRUE(rounded);
  EXPECT_EQ(*rounded, *Instant::from_unix(-1, 500'000'000));
  EXPECT_EQ(*instant_from_timestamp(std::nan(""), TimestampSplit::Truncating),
            *Instant::from_unix(0, 0));
  EXPECT_FALSE(instant_from_timestamp(1e300, TimestampSplit::Truncating));
  EXPECT_FALSE(instant_from_timestamp(-1e300, TimestampSplit::Rounding));
}

TEST(Instant, WholeSecondsTruncateTowardZero) {
  const Instant a = *Instant::from_unix(100, 900'000'000);
  const Instant b = *Instant::from_unix(101, 500'000'000);
  EXPECT_EQ(whole_seconds_between(a, b), 0);
  EXPECT_EQ(whole_seconds_between(b, a), 0);
  const Instant c = *Instant::from_unix(102, 0);
  EXPECT_EQ(whole_seconds_between(a, c), 1);
  EXPECT_EQ(whole_seconds_between(c, a), -1);
}

}  // namespace
}  // namespace vyr
