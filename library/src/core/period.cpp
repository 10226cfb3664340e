#include "core/period.hpp"

#include <algorithm>
#include <limits>
#include <optional>

#include "core/error.hpp"

namespace vyr {
namespace {

constexpr double kSecondsPerDay = 86400.0;

// Day adjustments of the 30/360 sub-variants, applied to one calendar date.
struct Thirty360Day {
  std::int64_t year;
  std::int64_t month;
  std::int64_t day;
};

Thirty360Day thirty_360_parts(Date date) {
  const YearMonthDay ymd = date.ymd();
  return {ymd.year, ymd.month, ymd.day};
}

bool is_last_day_of_february(const Thirty360Day& date) {
  return date.month == 2 && date.day == static_cast<std::int64_t>(days_in_month(date.year, 2));
}

// The date `months` months after `from`, with the day clamped to the new month's length. Any
// total that leaves the 32-bit month count or the calendar fails.
Date add_months(Date from, std::int64_t months) {
  if (months < 0 || months > std::numeric_limits<std::int32_t>::max()) {
    panic("`NaiveDate + Months` out of range");
  }
  if (months == 0) {
    return from;
  }
  const YearMonthDay ymd = from.ymd();
  const std::int64_t total = 12 * ymd.year + static_cast<std::int64_t>(ymd.month - 1) + months;
  // Floor division and a non-negative remainder, so years before year 0 stay correct.
  std::int64_t year = total / 12;
  std::int64_t month_index = total % 12;
  if (month_index < 0) {
    month_index += 12;
    year -= 1;
  }
  if (year < Date::kMinYear || year > Date::kMaxYear) {
    panic("`NaiveDate + Months` out of range");
  }
  const unsigned month = static_cast<unsigned>(month_index) + 1;
  const unsigned day = std::min(ymd.day, days_in_month(year, month));
  const std::optional<Date> result = Date::from_ymd(year, month, day);
  if (!result) {
    panic("`NaiveDate + Months` out of range");
  }
  return *result;
}

Date add_days(Date from, std::int64_t days) {
  const std::optional<Date> result = from.plus_days(days);
  if (!result) {
    panic("`NaiveDate + TimeDelta` overflowed");
  }
  return *result;
}

double year_length(std::int64_t year) {
  return is_leap_year(year) ? 366.0 : 365.0;
}

// ActualActual(ISDA) with start earlier than end: whole calendar years are split at 1 January;
// the span starts at midnight of the start's date and ends at the end instant itself.
double actual_actual_isda(const Instant& start, const Instant& end) {
  const std::int64_t end_year = end.date().ymd().year;
  Date d = start.date();
  std::int64_t year = d.ymd().year;
  double sum = 0.0;
  while (year < end_year) {
    // year + 1 <= end_year, so 1 January of it lies inside the calendar.
    const Date next = *Date::from_ymd(year + 1, 1, 1);
    sum += static_cast<double>(next.day_number() - d.day_number()) / year_length(year);
    d = next;
    year += 1;
  }
  const double seconds = static_cast<double>(whole_seconds_between(Instant::midnight(d), end));
  return sum + seconds / (year_length(end_year) * kSecondsPerDay);
}

}  // namespace

std::string_view DayCountConvention::debug_name() const {
  switch (kind_) {
    case Kind::Actual360:
      return "Actual360";
    case Kind::Actual365Fixed:
      return "Actual365Fixed";
    case Kind::ActualActualIsda:
      return "ActualActual(ISDA)";
    case Kind::Thirty360:
      switch (variant_) {
        case Thirty360Variant::UnitedStatesIsda:
          return "Thirty360(UnitedStatesIsda)";
        case Thirty360Variant::EurobondIsma:
          return "Thirty360(EurobondIsma)";
        case Thirty360Variant::GermanIsda:
          return "Thirty360(GermanIsda)";
      }
      break;
  }
  panic("invalid day-count convention");
}

int periods_per_year(Frequency frequency) {
  switch (frequency) {
    case Frequency::Annual:
      return 1;
    case Frequency::SemiAnnual:
      return 2;
    case Frequency::Quarterly:
      return 4;
    case Frequency::Monthly:
      return 12;
  }
  panic("invalid frequency");
}

std::string_view frequency_name(Frequency frequency) {
  switch (frequency) {
    case Frequency::Annual:
      return "Annual";
    case Frequency::SemiAnnual:
      return "SemiAnnual";
    case Frequency::Quarterly:
      return "Quarterly";
    case Frequency::Monthly:
      return "Monthly";
  }
  panic("invalid frequency");
}

Date Tenor::advance(Date from) const {
  switch (unit) {
    case Unit::Days:
      return add_days(from, count);
    case Unit::Weeks:
      return add_days(from, 7 * static_cast<std::int64_t>(count));
    case Unit::Months:
      return add_months(from, count);
    case Unit::Years:
      return add_months(from, 12 * static_cast<std::int64_t>(count));
  }
  panic("invalid tenor unit");
}

double year_fraction(const Instant& start, const Instant& end, DayCountConvention convention) {
  if (start == end) {
    return 0.0;
  }
  if (end < start) {
    return -year_fraction(end, start, convention);
  }
  switch (convention.kind()) {
    case DayCountConvention::Kind::Actual360:
      return static_cast<double>(whole_seconds_between(start, end)) / 31104000.0;
    case DayCountConvention::Kind::Actual365Fixed:
      return act365_year_fraction(start, end);
    case DayCountConvention::Kind::ActualActualIsda:
      return actual_actual_isda(start, end);
    case DayCountConvention::Kind::Thirty360:
      return static_cast<double>(
                 thirty_360_day_count(start.date(), end.date(), convention.thirty_360_variant())) /
             360.0;
  }
  panic("invalid day-count convention");
}

std::int64_t days_between(Date start, Date end, DayCountConvention convention) {
  if (convention.kind() == DayCountConvention::Kind::Thirty360) {
    return thirty_360_day_count(start, end, convention.thirty_360_variant());
  }
  return end.day_number() - start.day_number();
}

std::int64_t thirty_360_day_count(Date start, Date end, Thirty360Variant variant) {
  Thirty360Day first = thirty_360_parts(start);
  Thirty360Day second = thirty_360_parts(end);
  switch (variant) {
    case Thirty360Variant::UnitedStatesIsda:
      if (first.day == 31) {
        first.day = 30;
      }
      if (second.day == 31 && first.day == 30) {
        second.day = 30;
      }
      break;
    case Thirty360Variant::EurobondIsma:
      if (first.day == 31) {
        first.day = 30;
      }
      if (second.day == 31) {
        second.day = 30;
      }
      break;
    case Thirty360Variant::GermanIsda:
      if (first.day == 31 || is_last_day_of_february(first)) {
        first.day = 30;
      }
      if (second.day == 31 || is_last_day_of_february(second)) {
        second.day = 30;
      }
      break;
  }
  return 360 * (second.year - first.year) + 30 * (second.month - first.month) +
         (second.day - first.day);
}

}  // namespace vyr
