// DividendSchedule: cash dividends from (ex-date, amount) pairs, kept in the order given.
#include "binding/module_state.hpp"
#include "classes.hpp"
#include "core/error.hpp"
#include "datetime_conversion.hpp"

namespace vyr::python {
namespace {

// An ex-date as a UTC instant: it must be an aware datetime, then it is moved to UTC and read
// field by field (so its microseconds are kept).
vyr::Instant ex_date_instant(PyObject* ex_date) {
  const ModuleState& module = state();
  const auto is_datetime = [&](PyObject* object) {
    return PyType_IsSubtype(Py_TYPE(object),
                            reinterpret_cast<PyTypeObject*>(module.datetime_type)) != 0;
  };
  if (!is_datetime(ex_date)) {
    throw vyr::TypeError(
        "Ex-dates must be timezone-aware datetime objects. Plain dates are rejected.");
  }
  const Owned offset =
      checked(PyObject_CallMethodObjArgs(ex_date, module.names.utcoffset, nullptr));
  if (offset.get() == Py_None) {
    throw vyr::ValueError("Datetime must be timezone-aware (e.g., use New York or UTC time).");
  }
  const Owned in_utc =
      checked(PyObject_CallMethodObjArgs(ex_date, module.names.astimezone, module.utc, nullptr));
  if (!is_datetime(in_utc.get())) {
    raise_cannot_cast(in_utc.get(), "datetime");
  }
  return strict_utc_instant(in_utc.get());
}

DividendSchedule construct(std::vector<Pair<Object, double>> raw_divs) {
  DividendSchedule schedule;
  schedule.dividends.reserve(raw_divs.size());
  for (const Pair<Object, double>& pair : raw_divs) {
    schedule.dividends.push_back(
        vyr::Dividend{ex_date_instant(pair.first.object.get()), pair.second});
  }
  return schedule;
}

}  // namespace

void PythonClass<DividendSchedule>::define(ClassBuilder<DividendSchedule>& builder) {
  builder.constructor<&construct>({"raw_divs"});
}

}  // namespace vyr::python
