#include "core/date.hpp"

namespace vyr {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (era-based civil algorithm).
constexpr std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = m > 2 ? m - 3 : m + 9;
  const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

YearMonthDay civil_from_days(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const unsigned d = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  const unsigned m = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  return {y, m, d};
}

// Constant-initialised, so instants built during static initialisation elsewhere see them.
constexpr std::int64_t kMinDayNumber =
    days_from_civil(Date::kMinYear, 1, 1) + Date::kUnixEpochDayNumber;
constexpr std::int64_t kMaxDayNumber =
    days_from_civil(Date::kMaxYear, 12, 31) + Date::kUnixEpochDayNumber;

}  // namespace

bool is_leap_year(std::int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned days_in_month(std::int64_t year, unsigned month) {
  static constexpr unsigned kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && is_leap_year(year)) {
    return 29;
  }
  return kLengths[month - 1];
}

std::optional<Date> Date::from_ymd(std::int64_t year, std::int64_t month, std::int64_t day) {
  if (year < kMinYear || year > kMaxYear || month < 1 || month > 12 || day < 1) {
    return std::nullopt;
  }
  if (day > days_in_month(year, static_cast<unsigned>(month))) {
    return std::nullopt;
  }
  const std::int64_t number =
      days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
      kUnixEpochDayNumber;
  return Date(static_cast<std::int32_t>(number));
}

std::optional<Date> Date::from_day_number(std::int64_t day_number) {
  if (day_number < kMinDayNumber || day_number > kMaxDayNumber) {
    return std::nullopt;
  }
  return Date(static_cast<std::int32_t>(day_number));
}

YearMonthDay Date::ymd() const { return civil_from_days(day_number_ - kUnixEpochDayNumber); }

std::optional<Date> Date::plus_days(std::int64_t days) const {
  // Any shift beyond the calendar's whole span leaves it; this also keeps the sum from
  // overflowing.
  if (days > kMaxDayNumber - kMinDayNumber || days < kMinDayNumber - kMaxDayNumber) {
    return std::nullopt;
  }
  return from_day_number(day_number_ + days);
}

}  // namespace vyr
