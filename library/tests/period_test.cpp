#include "core/period.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "core/error.hpp"

namespace vyr {
namespace {

Date date(std::int64_t year, unsigned month, unsigned day) {
  const auto result = Date::from_ymd(year, month, day);
  EXPECT_TRUE(result) << year << "-" << month << "-" << day;
  return *result;
}

Instant at(std::int64_t year, unsigned month, unsigned day, std::uint32_t seconds = 0,
           std::uint32_t nanoseconds = 0) {
  return *Instant::from_parts(date(year, month, day), seconds, nanoseconds);
}

const DayCountConvention kAct360 = DayCountConvention::actual_360();
const DayCountConvention kAct365 = DayCountConvention::actual_365_fixed();
const DayCountConvention kActAct = DayCountConvention::actual_actual_isda();
const DayCountConvention kUs = DayCountConvention::thirty_360(Thirty360Variant::UnitedStatesIsda);
const DayCountConvention kEuro = DayCountConvention::thirty_360(Thirty360Variant::EurobondIsma);
const DayCountConvention kGerman = DayCountConvention::thirty_360(Thirty360Variant::GermanIsda);
const std::vector<DayCountConvention> kAllConventions = {kAct360, kAct365, kActAct,
                                                         kUs,     kEuro,   kGerman};

TEST(DayCountConvention, DebugNamesAndEquality) {
  const std::vector<std::string> names = {"Actual360",
                                          "Actual365Fixed",
                                          "ActualActual(ISDA)",
                                          "Thirty360(UnitedStatesIsda)",
                                          "Thirty360(EurobondIsma)",
                                          "Thirty360(GermanIsda)"};
  for (std::size_t i = 0; i < kAllConventions.size(); ++i) {
    EXPECT_EQ(kAllConventions[i].debug_name(), names[i]);
    for (std::size_t j = 0; j < kAllConventions.size(); ++j) {
      EXPECT_EQ(kAllConventions[i] == kAllConventions[j], i == j) << names[i] << " " << names[j];
    }
  }
}

TEST(Frequency, PeriodsPerYearAndNames) {
  const struct {
    Frequency frequency;
    int periods;
    const char* name;
  } cases[] = {{Frequency::Annual, 1, "Annual"},
               {Frequency::SemiAnnual, 2, "SemiAnnual"},
               {Frequency::Quarterly, 4, "Quarterly"},
               {Frequency::Monthly, 12, "Monthly"}};
  for (const auto& c : cases) {
    EXPECT_EQ(periods_per_year(c.frequency), c.periods);
    EXPECT_EQ(frequency_name(c.frequency), c.name);
  }
}

TEST(YearFraction, SameInstantIsZeroAndSwappingNegates) {
  const Instant start = at(2023, 7, 1, 3600, 250);
  const Instant ends[] = {at(2024, 2, 29, 43200), at(2025, 1, 31), at(2023, 7, 1, 7200)};
  for (const DayCountConvention convention : kAllConventions) {
    const double same = year_fraction(start, start, convention);
    EXPECT_EQ(same, 0.0) << convention.debug_name();
    EXPECT_FALSE(std::signbit(same)) << convention.debug_name();
    for (const Instant& end : ends) {
      const double forward = year_fraction(start, end, convention);
      EXPECT_GE(forward, 0.0) << convention.debug_name();
      EXPECT_EQ(year_fraction(end, start, convention), -forward) << convention.debug_name();
    }
  }
}

TEST(YearFraction, ActualConventionsCountWholeSeconds) {
  EXPECT_EQ(year_fraction(at(2024, 1, 1), at(2024, 1, 2), kAct365), 86400.0 / 31536000.0);
  EXPECT_DOUBLE_EQ(year_fraction(at(2024, 1, 1), at(2024, 1, 2), kAct365), 1.0 / 365.0);
  EXPECT_EQ(year_fraction(at(2024, 1, 1), at(2024, 1, 2), kAct360), 86400.0 / 31104000.0);
  // The sub-second remainder is dropped.
  EXPECT_EQ(year_fraction(at(2024, 1, 1, 10, 0), at(2024, 1, 1, 10, 900'000'000), kAct365), 0.0);
  EXPECT_EQ(year_fraction(at(2024, 1, 1, 10, 0), at(2024, 1, 1, 11, 900'000'000), kAct360),
            1.0 / 31104000.0);
  // A leap year has 366 days under Actual/365 Fixed.
  EXPECT_EQ(year_fraction(at(2024, 1, 1), at(2025, 1, 1), kAct365), 366.0 / 365.0);
}

TEST(YearFraction, Actual365FixedAgreesWithThePricingHelper) {
  const Instant instants[] = {at(2020, 2, 29, 1), at(2024, 3, 1, 86399, 999'999'999),
                              at(1969, 12, 31, 5), at(2024, 3, 1)};
  for (const Instant& a : instants) {
    for (const Instant& b : instants) {
      EXPECT_EQ(year_fraction(a, b, kAct365), act365_year_fraction(a, b));
    }
  }
}

TEST(YearFraction, ActualActualIsdaSplitsByCalendarYear) {
  EXPECT_EQ(year_fraction(at(2023, 7, 1), at(2024, 7, 1), kActAct), 184.0 / 365.0 + 182.0 / 366.0);
  // The start's time of day is not used; the end's is.
  EXPECT_EQ(year_fraction(at(2024, 3, 1, 43200), at(2024, 3, 1, 64800), kActAct),
            64800.0 / 31622400.0);
  EXPECT_EQ(year_fraction(at(2023, 12, 31, 80000), at(2024, 1, 1, 43200), kActAct),
            1.0 / 365.0 + 43200.0 / 31622400.0);
  EXPECT_EQ(year_fraction(at(2020, 1, 1), at(2023, 1, 1), kActAct), 3.0);
  EXPECT_EQ(year_fraction(at(2021, 1, 1), at(2021, 12, 31, 86399), kActAct),
            (364.0 * 86400.0 + 86399.0) / 31536000.0);
}

TEST(YearFraction, Thirty360UsesCalendarDatesOnly) {
  EXPECT_EQ(year_fraction(at(2024, 1, 31, 80000), at(2024, 3, 31, 100), kUs), 60.0 / 360.0);
  EXPECT_EQ(year_fraction(at(2024, 1, 31, 100), at(2024, 1, 31, 80000), kGerman), 0.0);
  // A later start is adjusted as the end: the earlier date is always D1.
  EXPECT_EQ(year_fraction(at(2024, 5, 31), at(2024, 5, 1), kUs), -30.0 / 360.0);
  EXPECT_EQ(days_between(date(2024, 5, 31), date(2024, 5, 1), kUs), -29);
}

TEST(Thirty360, SubVariantAdjustments) {
  const struct {
    Date start;
    Date end;
    std::int64_t us;
    std::int64_t euro;
    std::int64_t german;
  } cases[] = {
      {date(2024, 1, 31), date(2024, 3, 31), 60, 60, 60},
      {date(2024, 1, 30), date(2024, 2, 29), 29, 29, 30},
      {date(2024, 2, 29), date(2024, 3, 31), 32, 31, 30},
      {date(2024, 4, 30), date(2024, 5, 31), 30, 30, 30},
      {date(2024, 5, 1), date(2024, 5, 31), 30, 29, 29},
      // The last day of February only counts in the year it falls in.
      {date(2023, 2, 28), date(2023, 3, 31), 33, 32, 30},
      {date(2024, 2, 28), date(2024, 3, 28), 30, 30, 30},
      {date(2023, 1, 15), date(2023, 2, 28), 43, 43, 45},
      {date(2020, 12, 31), date(2024, 1, 1), 1081, 1081, 1081},
      // No reordering: the formula runs in the order given.
      {date(2024, 3, 31), date(2024, 1, 31), -60, -60, -60},
  };
  for (const auto& c : cases) {
    const auto label =
        std::to_string(c.start.day_number()) + "->" + std::to_string(c.end.day_number());
    EXPECT_EQ(thirty_360_day_count(c.start, c.end, Thirty360Variant::UnitedStatesIsda), c.us)
        << label;
    EXPECT_EQ(thirty_360_day_count(c.start, c.end, Thirty360Variant::EurobondIsma), c.euro)
        << label;
    EXPECT_EQ(thirty_360_day_count(c.start, c.end, Thirty360Variant::GermanIsda), c.german)
        << label;
    EXPECT_EQ(days_between(c.start, c.end, kUs), c.us) << label;
    EXPECT_EQ(days_between(c.start, c.end, kEuro), c.euro) << label;
    EXPECT_EQ(days_between(c.start, c.end, kGerman), c.german) << label;
    if (c.start < c.end) {
      EXPECT_EQ(year_fraction(Instant::midnight(c.start), Instant::midnight(c.end), kGerman),
                static_cast<double>(c.german) / 360.0)
          << label;
    }
  }
}

TEST(DaysBetween, ActualConventionsCountSignedCalendarDays) {
  for (const DayCountConvention convention : {kAct360, kAct365, kActAct}) {
    EXPECT_EQ(days_between(date(2024, 3, 31), date(2024, 1, 31), convention), -60);
    EXPECT_EQ(days_between(date(2024, 1, 1), date(2025, 1, 1), convention), 366);
    EXPECT_EQ(days_between(date(2023, 1, 1), date(2024, 1, 1), convention), 365);
    EXPECT_EQ(days_between(date(2024, 2, 28), date(2024, 3, 1), convention), 2);
  }
}

TEST(Tenor, AdvanceMovesTheDate) {
  using Unit = Tenor::Unit;
  const struct {
    Date from;
    Tenor tenor;
    Date expected;
  } cases[] = {
      {date(2024, 1, 31), {Unit::Months, 1}, date(2024, 2, 29)},
      {date(2023, 1, 31), {Unit::Months, 1}, date(2023, 2, 28)},
      {date(2024, 2, 28), {Unit::Months, 1}, date(2024, 3, 28)},
      {date(2024, 1, 31), {Unit::Months, 13}, date(2025, 2, 28)},
      {date(2024, 11, 30), {Unit::Months, 3}, date(2025, 2, 28)},
      {date(2024, 12, 15), {Unit::Months, 1}, date(2025, 1, 15)},
      {date(2024, 5, 31), {Unit::Months, 0}, date(2024, 5, 31)},
      {date(2024, 2, 29), {Unit::Years, 1}, date(2025, 2, 28)},
      {date(2024, 2, 29), {Unit::Years, 4}, date(2028, 2, 29)},
      {date(2024, 2, 29), {Unit::Years, 0}, date(2024, 2, 29)},
      {date(9999, 6, 1), {Unit::Years, 1}, date(10000, 6, 1)},
      {date(2024, 3, 1), {Unit::Days, -1}, date(2024, 2, 29)},
      {date(2023, 3, 1), {Unit::Days, -1}, date(2023, 2, 28)},
      {date(2024, 12, 31), {Unit::Days, 1}, date(2025, 1, 1)},
      {date(2024, 1, 1), {Unit::Weeks, 2}, date(2024, 1, 15)},
      {date(2024, 1, 1), {Unit::Weeks, -1}, date(2023, 12, 25)},
      // Years before year 1: the month total is split with floor division.
      {date(-5, 11, 15), {Unit::Months, 3}, date(-4, 2, 15)},
      {date(-1, 12, 1), {Unit::Months, 1}, date(0, 1, 1)},
      {date(0, 1, 31), {Unit::Months, 1}, date(0, 2, 29)},
      {date(Date::kMaxYear, 1, 31), {Unit::Months, 11}, date(Date::kMaxYear, 12, 31)},
      {date(Date::kMaxYear, 12, 30), {Unit::Days, 1}, date(Date::kMaxYear, 12, 31)},
      {date(Date::kMinYear, 1, 2), {Unit::Weeks, 0}, date(Date::kMinYear, 1, 2)},
  };
  for (const auto& c : cases) {
    const Date result = c.tenor.advance(c.from);
    const YearMonthDay got = result.ymd();
    const YearMonthDay want = c.expected.ymd();
    EXPECT_EQ(result, c.expected) << "got " << got.year << "-" << got.month << "-" << got.day
                                  << ", want " << want.year << "-" << want.month << "-" << want.day;
  }
}

TEST(Tenor, AdvanceFailuresPanicWithTheirMessages) {
  using Unit = Tenor::Unit;
  const std::string months = "`NaiveDate + Months` out of range";
  const std::string delta = "`NaiveDate + TimeDelta` overflowed";
  const struct {
    Date from;
    Tenor tenor;
    const std::string& message;
  } cases[] = {
      {date(2024, 3, 1), {Unit::Months, -1}, months},
      {date(2024, 3, 1), {Unit::Years, -1}, months},
      {date(2024, 3, 1), {Unit::Months, INT32_MIN}, months},
      // 12·n beyond the 32-bit range, and just inside it but far outside the calendar.
      {date(2024, 3, 1), {Unit::Years, INT32_MAX}, months},
      {date(2024, 3, 1), {Unit::Years, 178956971}, months},
      {date(2024, 3, 1), {Unit::Years, 178956970}, months},
      {date(2024, 3, 1), {Unit::Months, INT32_MAX}, months},
      {date(Date::kMaxYear, 12, 1), {Unit::Months, 1}, months},
      {date(2024, 3, 1), {Unit::Years, static_cast<std::int32_t>(Date::kMaxYear - 2023)}, months},
      {date(Date::kMaxYear, 12, 31), {Unit::Days, 1}, delta},
      {date(Date::kMinYear, 1, 1), {Unit::Days, -1}, delta},
      {date(Date::kMinYear, 1, 6), {Unit::Weeks, -1}, delta},
      {date(2024, 3, 1), {Unit::Days, INT32_MAX}, delta},
      {date(2024, 3, 1), {Unit::Days, INT32_MIN}, delta},
      {date(2024, 3, 1), {Unit::Weeks, INT32_MAX}, delta},
      {date(2024, 3, 1), {Unit::Weeks, INT32_MIN}, delta},
  };
  for (const auto& c : cases) {
    try {
      c.tenor.advance(c.from);
      ADD_FAILURE() << "no failure for count " << c.tenor.count;
    } catch (const Panic& error) {
      EXPECT_EQ(error.what(), c.message) << "count " << c.tenor.count;
    }
  }
  const Tenor longest{Unit::Years, static_cast<std::int32_t>(Date::kMaxYear - 2024)};
  EXPECT_EQ(longest.advance(date(2024, 3, 1)), date(Date::kMaxYear, 3, 1));
}

}  // namespace
}  // namespace vyr
