// The volatility surface: one flat volatility with the day count its times are meant in.
#pragma once

#include "core/period.hpp"

namespace vyr {

struct VolSurface {
  DayCountConvention day_count;
  double vol;

  static VolSurface flat(double vol, DayCountConvention day_count) { return {day_count, vol}; }

  // The flat volatility, whatever the strike and time.
  double volatility(double /*strike*/, double /*t*/) const { return vol; }
};

}  // namespace vyr
