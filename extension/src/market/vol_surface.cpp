// VolSurface: one flat volatility with its day-count convention.
#include "classes.hpp"

namespace vyr::python {
namespace {

using vyr::VolSurface;

VolSurface flat(double vol, vyr::DayCountConvention day_count) {
  return VolSurface::flat(vol, day_count);
}

double volatility(const VolSurface& surface, double strike, double t) {
  return surface.volatility(strike, t);
}

}  // namespace

void PythonClass<VolSurface>::define(ClassBuilder<VolSurface>& builder) {
  builder.static_method<&flat>("flat", {"vol", "day_count"})
      .method<&volatility>("volatility", {"strike", "t"});
}

}  // namespace vyr::python
