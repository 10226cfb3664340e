// Python datetimes and dates in and out: the timestamp rules (truncating or rounding), the strict
// UTC rule and the calendar-date rule, each a parameter type with its converter.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <unordered_map>

#include "binding/conversions.hpp"
#include "core/date.hpp"
#include "core/instant.hpp"

namespace vyr::python {

// An instance of datetime.datetime (or a subclass), not yet converted: the body applies a
// timestamp rule with its own messages.
struct AwareDateTime {
  PyObject* object;  // borrowed from the call's arguments
};

// The type test only.
AwareDateTime to_aware_datetime(PyObject* object);

template <>
struct Converter<AwareDateTime> : ValueConverter<AwareDateTime, &to_aware_datetime> {};

// The messages one entry point gives for the timestamp rules.
struct TimestampMessages {
  const char* offset_missing;
  const char* not_representable;
};

// An option's expiry (truncating split) and a builder's valuation time (rounding split).
inline constexpr TimestampMessages kExpiryMessages{
    "Expiry must have a timezone specified (e.g. New York or UTC)", "Invalid timestamp"};
inline constexpr TimestampMessages kEvaluationTimeMessages{
    "Evaluation time must have a timezone specified (e.g. New York or UTC)", "Invalid timestamp"};

// utcoffset() must not be None; timestamp() is split into seconds and nanoseconds by `split`.
vyr::Instant timestamp_instant(AwareDateTime datetime, vyr::TimestampSplit split,
                               const TimestampMessages& messages);

// The type test, then the timestamp rule, for each element of a column of datetimes. A datetime
// object met again is not converted again: its first instant is reused, so a chain with few
// distinct expiry objects pays one conversion for each of them.
class InstantCache {
 public:
  InstantCache(vyr::TimestampSplit split, const TimestampMessages& messages)
      : split_(split), messages_(messages) {}

  // `object` must stay alive while the cache is in use (the column's items hold it).
  vyr::Instant convert(PyObject* object);

 private:
  // A direct-mapped table in front of the map: a chain's few expiry objects almost always hit.
  static constexpr std::size_t kSlots = 64;
  struct Slot {
    PyObject* object = nullptr;
    std::optional<vyr::Instant> instant;
  };

  vyr::TimestampSplit split_;
  const TimestampMessages& messages_;
  std::array<Slot, kSlots> slots_{};
  std::unordered_map<PyObject*, vyr::Instant> seen_;
};

// A datetime whose tzinfo equals datetime.timezone.utc, read field by field.
struct UtcDateTime {
  vyr::Instant instant;
};

// The type test, then the strict UTC rule.
UtcDateTime to_utc_datetime(PyObject* object);

template <>
struct Converter<UtcDateTime> : ValueConverter<UtcDateTime, &to_utc_datetime> {};

// The strict UTC rule after the type test.
vyr::Instant strict_utc_instant(PyObject* datetime);

// A datetime.date (a datetime contributes its date only).
struct CalendarDate {
  vyr::Date date;
};

// The calendar-date rule.
CalendarDate to_calendar_date(PyObject* object);

template <>
struct Converter<CalendarDate> : ValueConverter<CalendarDate, &to_calendar_date> {};

// Reads the date of a date or datetime; ValueError "invalid or out-of-range date".
vyr::Date calendar_date(PyObject* date);

}  // namespace vyr::python
