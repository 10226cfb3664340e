// Python datetimes and dates in and out: the timestamp rules (truncating or rounding), the strict
// UTC rule and the calendar-date rule, each a parameter type with its converter.
#pragma once

#include "binding/conversions.hpp"
#include "core/date.hpp"
#include "core/instant.hpp"

namespace vyr::python {

// An instance of datetime.datetime (or a subclass), not yet converted: the body applies a
// timestamp rule with its own messages.
struct AwareDateTime {
  PyObject* object;  // borrowed from the call's arguments
};

template <>
struct Converter<AwareDateTime> {
  using Holder = AwareDateTime;
  static constexpr bool optional = false;
  static Holder convert(PyObject* object);
  static AwareDateTime get(Holder& holder) { return holder; }
};

// The messages one entry point gives for the timestamp rules.
struct TimestampMessages {
  const char* offset_missing;
  const char* not_representable;
};

// utcoffset() must not be None; timestamp() is split into seconds and nanoseconds by `split`.
vyr::Instant timestamp_instant(AwareDateTime datetime, vyr::TimestampSplit split,
                               const TimestampMessages& messages);

// A datetime whose tzinfo equals datetime.timezone.utc, read field by field.
struct UtcDateTime {
  vyr::Instant instant;
};

template <>
struct Converter<UtcDateTime> {
  using Holder = UtcDateTime;
  static constexpr bool optional = false;
  static Holder convert(PyObject* object);
  static UtcDateTime get(Holder& holder) { return holder; }
};

// The strict UTC rule after the type test.
vyr::Instant strict_utc_instant(PyObject* datetime);

// A datetime.date (a datetime contributes its date only).
struct CalendarDate {
  vyr::Date date;
};

template <>
struct Converter<CalendarDate> {
  using Holder = CalendarDate;
  static constexpr bool optional = false;
  static Holder convert(PyObject* object);
  static CalendarDate get(Holder& holder) { return holder; }
};

// Reads the date of a date or datetime; ValueError "invalid or out-of-range date".
vyr::Date calendar_date(PyObject* date);

}  // namespace vyr::python
