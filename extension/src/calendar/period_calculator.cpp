// PeriodCalculator: day counts between dates and year fractions between UTC datetimes.
#include "classes.hpp"
#include "datetime_conversion.hpp"

namespace vyr::python {
namespace {

std::int64_t days_between(CalendarDate start, CalendarDate end,
                          vyr::DayCountConvention convention) {
  return vyr::days_between(start.date, end.date, convention);
}

double year_fraction(UtcDateTime start, UtcDateTime end, vyr::DayCountConvention convention) {
  return vyr::year_fraction(start.instant, end.instant, convention);
}

}  // namespace

void PythonClass<PeriodCalculatorClass>::define(ClassBuilder<PeriodCalculatorClass>& builder) {
  builder.static_method<&days_between>("days_between", {"start", "end", "convention"})
      .static_method<&year_fraction>("year_fraction", {"start", "end", "convention"});
}

}  // namespace vyr::python
