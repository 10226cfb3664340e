// Proleptic Gregorian calendar dates, held as a day number (0001-01-01 is day 1).
#pragma once

#include <compare>
#include <cstdint>
#include <optional>

namespace vyr {

struct YearMonthDay {
  std::int64_t year;
  unsigned month;  // 1..12
  unsigned day;    // 1..31
};

bool is_leap_year(std::int64_t year);
unsigned days_in_month(std::int64_t year, unsigned month);

class Date {
 public:
  // The calendar's range; dates outside it cannot be represented.
  static constexpr std::int64_t kMinYear = -262143;
  static constexpr std::int64_t kMaxYear = 262142;
  // Day number of the Unix epoch, 1970-01-01.
  static constexpr std::int64_t kUnixEpochDayNumber = 719163;

  // nullopt when the triple is not a valid date or lies outside the calendar's range.
  static std::optional<Date> from_ymd(std::int64_t year, std::int64_t month, std::int64_t day);
  // nullopt when the day number lies outside the calendar's range.
  static std::optional<Date> from_day_number(std::int64_t day_number);

  std::int64_t day_number() const { return day_number_; }
  YearMonthDay ymd() const;

  // nullopt when the result leaves the calendar's range.
  std::optional<Date> plus_days(std::int64_t days) const;

  friend auto operator<=>(const Date&, const Date&) = default;

 private:
  explicit Date(std::int32_t day_number) : day_number_(day_number) {}
  std::int32_t day_number_;
};

}  // namespace vyr
