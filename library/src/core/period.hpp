// Day-count conventions, compounding frequencies, tenors and the period calculator: every time
// span of the system is a year fraction computed here.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/date.hpp"
#include "core/instant.hpp"

namespace vyr {

enum class Thirty360Variant : std::uint8_t { UnitedStatesIsda, EurobondIsma, GermanIsda };

class DayCountConvention {
 public:
  enum class Kind : std::uint8_t { Actual360, Actual365Fixed, ActualActualIsda, Thirty360 };

  static constexpr DayCountConvention actual_360() { return {Kind::Actual360}; }
  static constexpr DayCountConvention actual_365_fixed() { return {Kind::Actual365Fixed}; }
  static constexpr DayCountConvention actual_actual_isda() { return {Kind::ActualActualIsda}; }
  static constexpr DayCountConvention thirty_360(Thirty360Variant variant) {
    return {Kind::Thirty360, variant};
  }

  constexpr Kind kind() const { return kind_; }
  // Meaningful for Thirty360 only.
  constexpr Thirty360Variant thirty_360_variant() const { return variant_; }

  // "Actual360", "Actual365Fixed", "ActualActual(ISDA)", "Thirty360(UnitedStatesIsda)",
  // "Thirty360(EurobondIsma)", "Thirty360(GermanIsda)".
  std::string_view debug_name() const;

  // Equal when the same member and, for 30/360, the same sub-variant.
  friend constexpr bool operator==(DayCountConvention, DayCountConvention) = default;

 private:
  constexpr DayCountConvention(Kind kind,
                               Thirty360Variant variant = Thirty360Variant::UnitedStatesIsda)
      : kind_(kind), variant_(variant) {}

  Kind kind_;
  Thirty360Variant variant_;
};

enum class Frequency : std::uint8_t { Annual, SemiAnnual, Quarterly, Monthly };

// 1, 2, 4 or 12.
int periods_per_year(Frequency frequency);
// "Annual", "SemiAnnual", "Quarterly" or "Monthly".
std::string_view frequency_name(Frequency frequency);

struct Tenor {
  enum class Unit : std::uint8_t { Days, Weeks, Months, Years };

  Unit unit;
  std::int32_t count;

  // The date moved by this tenor. Throws Panic "`NaiveDate + Months` out of range" for negative
  // months or years and month arithmetic leaving the calendar, and "`NaiveDate + TimeDelta`
  // overflowed" when days or weeks leave it.
  Date advance(Date from) const;
};

// Year fraction from start to end under the convention; negated when start is later than end.
double year_fraction(const Instant& start, const Instant& end, DayCountConvention convention);

// Days from start to end: calendar days for the actual conventions, the 30/360 day count (in the
// order given, no reordering) for Thirty360.
std::int64_t days_between(Date start, Date end, DayCountConvention convention);

// 360·(Y2 − Y1) + 30·(M2 − M1) + (D2 − D1) after the sub-variant's day adjustments.
std::int64_t thirty_360_day_count(Date start, Date end, Thirty360Variant variant);

// Actual/365 Fixed year fraction: the whole seconds between the instants over 31 536 000. All
// pricing times use it.
inline double act365_year_fraction(const Instant& start, const Instant& end) {
  if (end < start) {
    return -act365_year_fraction(end, start);
  }
  return static_cast<double>(whole_seconds_between(start, end)) / 31536000.0;
}

}  // namespace vyr
