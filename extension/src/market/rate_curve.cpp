// RateCurve: flat, continuous or interpolated from tenors and rates.
#include "classes.hpp"
#include "datetime_conversion.hpp"

namespace vyr::python {
namespace {

using vyr::RateCurve;

RateCurve flat(const vyr::InterestRate& rate) {
  return RateCurve::flat(rate);
}

RateCurve continuous(double rate, vyr::DayCountConvention day_count_convention) {
  return RateCurve::continuous(rate, day_count_convention);
}

RateCurve interpolated(CalendarDate reference_date, std::vector<vyr::Tenor> tenors,
                       std::vector<vyr::InterestRate> rates) {
  vyr::Expected<RateCurve, vyr::CurveError> curve =
      RateCurve::interpolated(reference_date.date, std::move(tenors), std::move(rates));
  if (!curve) {
    throw vyr::ValueError("Curve Error: " + curve.error().debug_text());
  }
  return std::move(curve).value();
}

double zero_rate(const RateCurve& curve, double t) {
  return curve.zero_rate(t);
}

double discount_factor(const RateCurve& curve, double t) {
  return curve.discount_factor(t);
}

}  // namespace

void PythonClass<RateCurve>::define(ClassBuilder<RateCurve>& builder) {
  builder.static_method<&flat>("flat", {"rate"})
      .static_method<&continuous>("continuous", {"rate", "day_count_convention"})
      .static_method<&interpolated>("interpolated", {"reference_date", "tenors", "rates"})
      .method<&zero_rate>("zero_rate", {"t"})
      .method<&discount_factor>("discount_factor", {"t"});
}

}  // namespace vyr::python
