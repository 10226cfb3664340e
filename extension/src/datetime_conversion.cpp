#include "datetime_conversion.hpp"

#include <cmath>
#include <string>

#include "binding/module_state.hpp"

namespace vyr::python {
namespace {

bool is_subtype(PyObject* object, PyObject* type) {
  return PyType_IsSubtype(Py_TYPE(object), reinterpret_cast<PyTypeObject*>(type)) != 0;
}

Owned call_method(PyObject* object, PyObject* name) {
  return checked(PyObject_CallMethodObjArgs(object, name, nullptr));
}

// An integer attribute such as year or hour; out-of-range values read as -1 and fail the range
// checks that follow.
long integer_attribute(PyObject* object, PyObject* name) {
  const Owned value = checked(PyObject_GetAttr(object, name));
  const long number = PyLong_AsLong(value.get());
  if (number == -1 && PyErr_Occurred() != nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_OverflowError)) {
      throw_python_error();
    }
    PyErr_Clear();
  }
  return number;
}

}  // namespace

AwareDateTime to_aware_datetime(PyObject* object) {
  if (!is_subtype(object, state().datetime_type)) {
    raise_cannot_cast(object, "datetime");
  }
  return AwareDateTime{object};
}

vyr::Instant timestamp_instant(AwareDateTime datetime, vyr::TimestampSplit split,
                               const TimestampMessages& messages) {
  const InternedNames& names = state().names;
  const Owned offset = call_method(datetime.object, names.utcoffset);
  if (offset.get() == Py_None) {
    raise(PyExc_ValueError, messages.offset_missing);
  }
  const Owned timestamp = call_method(datetime.object, names.timestamp);
  const double seconds = to_double(timestamp.get());
  const std::optional<vyr::Instant> instant = vyr::instant_from_timestamp(seconds, split);
  if (!instant) {
    raise(PyExc_ValueError, messages.not_representable);
  }
  return *instant;
}

vyr::Instant InstantCache::convert(PyObject* object) {
  Slot& slot = slots_[(reinterpret_cast<std::uintptr_t>(object) >> 4) % kSlots];
  if (slot.object == object) {
    return *slot.instant;
  }
  const auto found = seen_.find(object);
  const vyr::Instant instant =
      found != seen_.end() ? found->second
                           : timestamp_instant(to_aware_datetime(object), split_, messages_);
  if (found == seen_.end()) {
    seen_.emplace(object, instant);
  }
  slot = Slot{object, instant};
  return instant;
}

vyr::Instant strict_utc_instant(PyObject* datetime) {
  const ModuleState& module = state();
  const InternedNames& names = module.names;
  const Owned tzinfo = checked(PyObject_GetAttr(datetime, names.tzinfo));
  if (tzinfo.get() == Py_None) {
    raise(PyExc_TypeError, "expected a datetime with non-None tzinfo");
  }
  const Owned equal = checked(PyObject_RichCompare(tzinfo.get(), module.utc, Py_EQ));
  const int is_utc = PyObject_IsTrue(equal.get());
  if (is_utc < 0) {
    throw_python_error();
  }
  if (is_utc == 0) {
    raise(PyExc_ValueError, "expected datetime.timezone.utc");
  }
  const std::optional<vyr::Date> date = vyr::Date::from_ymd(
      integer_attribute(datetime, names.year), integer_attribute(datetime, names.month),
      integer_attribute(datetime, names.day));
  if (!date) {
    raise(PyExc_ValueError, "invalid or out-of-range date");
  }
  const long hour = integer_attribute(datetime, names.hour);
  const long minute = integer_attribute(datetime, names.minute);
  const long second = integer_attribute(datetime, names.second);
  const long microsecond = integer_attribute(datetime, names.microsecond);
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      microsecond < 0 || microsecond > 1'999'999) {
    raise(PyExc_ValueError, "invalid or out-of-range time");
  }
  const auto seconds_of_day = static_cast<std::uint32_t>(hour * 3600 + minute * 60 + second);
  const std::optional<vyr::Instant> instant = vyr::Instant::from_parts(
      *date, seconds_of_day, static_cast<std::uint32_t>(microsecond) * 1000u);
  if (!instant) {
    raise(PyExc_ValueError, "invalid or out-of-range time");
  }
  return *instant;
}

UtcDateTime to_utc_datetime(PyObject* object) {
  if (!is_subtype(object, state().datetime_type)) {
    raise_cannot_cast(object, "datetime");
  }
  return UtcDateTime{strict_utc_instant(object)};
}

vyr::Date calendar_date(PyObject* date) {
  const InternedNames& names = state().names;
  const std::optional<vyr::Date> result =
      vyr::Date::from_ymd(integer_attribute(date, names.year), integer_attribute(date, names.month),
                          integer_attribute(date, names.day));
  if (!result) {
    raise(PyExc_ValueError, "invalid or out-of-range date");
  }
  return *result;
}

CalendarDate to_calendar_date(PyObject* object) {
  if (!is_subtype(object, state().date_type)) {
    raise_cannot_cast(object, "date");
  }
  return CalendarDate{calendar_date(object)};
}

PyObject* to_python(const vyr::Date& date) {
  const vyr::YearMonthDay ymd = date.ymd();
  return PyObject_CallFunction(state().date_type, "LII", static_cast<long long>(ymd.year),
                               ymd.month, ymd.day);
}

}  // namespace vyr::python
