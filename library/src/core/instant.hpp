// UTC instants: a calendar date, the seconds since midnight and the nanoseconds. There is no
// time zone: every instant is UTC.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>

#include "core/date.hpp"

namespace vyr {

class Instant {
 public:
  // nullopt unless seconds_of_day < 86400, nanoseconds <= 1'999'999'999, and nanoseconds of 10^9
  // or more (a leap second) fall on the 59th second of a minute.
  static std::optional<Instant> from_parts(Date date, std::uint32_t seconds_of_day,
                                           std::uint32_t nanoseconds);
  // The instant `seconds` after the Unix epoch plus `nanoseconds`; nullopt when its date leaves
  // the calendar or the nanoseconds break the rule of from_parts.
  static std::optional<Instant> from_unix(std::int64_t seconds, std::uint32_t nanoseconds);
  static Instant midnight(Date date) { return Instant(date, 0, 0); }

  Date date() const { return date_; }
  std::uint32_t seconds_of_day() const { return seconds_of_day_; }
  std::uint32_t nanoseconds() const { return nanoseconds_; }

  friend auto operator<=>(const Instant&, const Instant&) = default;

 private:
  Instant(Date date, std::uint32_t seconds_of_day, std::uint32_t nanoseconds)
      : date_(date), seconds_of_day_(seconds_of_day), nanoseconds_(nanoseconds) {}

  Date date_;
  std::uint32_t seconds_of_day_;
  std::uint32_t nanoseconds_;
};

// The signed number of seconds from start to end, truncated toward zero (the sub-second
// remainder is dropped).
std::int64_t whole_seconds_between(const Instant& start, const Instant& end);

// How a floating-point Unix timestamp is split into whole seconds and nanoseconds.
enum class TimestampSplit {
  // seconds truncated toward zero, nanoseconds truncated
  Truncating,
  // seconds floored, nanoseconds rounded to nearest, halves away from zero
  Rounding,
};

// Seconds saturate to the signed 64-bit range (NaN gives 0); nanoseconds are clamped to the
// unsigned 32-bit range (a negative fraction gives 0). nullopt when the instant is not
// representable.
std::optional<Instant> instant_from_timestamp(double timestamp, TimestampSplit split);

}  // namespace vyr
