#include "core/instant.hpp"

#include <cmath>
#include <limits>

namespace vyr {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

// A double converted to int64 with saturation at both ends and NaN mapped to 0.
std::int64_t saturating_int64(double value) {
  if (std::isnan(value)) {
    return 0;
  }
  if (value >= 9223372036854775807.0) {
    return std::numeric_limits<std::int64_t>::max();
  }
  if (value <= -9223372036854775808.0) {
    return std::numeric_limits<std::int64_t>::min();
  }
  return static_cast<std::int64_t>(value);
}

// A double converted to uint32 with clamping at both ends and NaN mapped to 0.
std::uint32_t saturating_uint32(double value) {
  if (std::isnan(value) || value <= 0.0) {
    return 0;
  }
  if (value >= 4294967295.0) {
    return std::numeric_limits<std::uint32_t>::max();
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::optional<Instant> Instant::from_parts(Date date, std::uint32_t seconds_of_day,
                                           std::uint32_t nanoseconds) {
  if (seconds_of_day >= kSecondsPerDay || nanoseconds > 1'999'999'999u) {
    return std::nullopt;
  }
  if (nanoseconds >= kNanosPerSecond && seconds_of_day % 60 != 59) {
    return std::nullopt;
  }
  return Instant(date, seconds_of_day, nanoseconds);
}

std::optional<Instant> Instant::from_unix(std::int64_t seconds, std::uint32_t nanoseconds) {
  std::int64_t days = seconds / kSecondsPerDay;
  std::int64_t second_of_day = seconds % kSecondsPerDay;
  if (second_of_day < 0) {
    second_of_day += kSecondsPerDay;
    days -= 1;
  }
  const std::optional<Date> date = Date::from_day_number(days + Date::kUnixEpochDayNumber);
  if (!date) {
    return std::nullopt;
  }
  return from_parts(*date, static_cast<std::uint32_t>(second_of_day), nanoseconds);
}

std::int64_t whole_seconds_between(const Instant& start, const Instant& end) {
  using Wide = __int128;
  const auto total_nanos = [](const Instant& instant) {
    const Wide seconds = static_cast<Wide>(instant.date().day_number()) * kSecondsPerDay +
                         instant.seconds_of_day();
    return seconds * kNanosPerSecond + instant.nanoseconds();
  };
  // Integer division truncates toward zero, which is the rule for whole seconds.
  return static_cast<std::int64_t>((total_nanos(end) - total_nanos(start)) / kNanosPerSecond);
}

std::optional<Instant> instant_from_timestamp(double timestamp, TimestampSplit split) {
  std::int64_t seconds;
  std::uint32_t nanoseconds;
  if (split == TimestampSplit::Truncating) {
    seconds = saturating_int64(timestamp);
    nanoseconds = saturating_uint32((timestamp - static_cast<double>(seconds)) * 1e9);
  } else {
    seconds = saturating_int64(std::floor(timestamp));
    nanoseconds = saturating_uint32(std::round((timestamp - static_cast<double>(seconds)) * 1e9));
  }
  return Instant::from_unix(seconds, nanoseconds);
}

}  // namespace vyr
