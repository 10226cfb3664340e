// The payoff of a vanilla option on the grid: max(s·(S − K), 0) with s = +1 for a call and −1
// for a put, and the exercise value s·(S − K), not floored at zero.
#pragma once

#include <algorithm>

#include "instruments/vanilla_option.hpp"

namespace vyr {

struct VanillaPayoff {
  double strike;
  double sign;

  static VanillaPayoff for_option(OptionType type, double strike) {
    return {strike, type == OptionType::Call ? 1.0 : -1.0};
  }

  double exercise(double s) const { return sign * (s - strike); }
  // NaN spot values stay NaN.
  double value(double s) const { return std::max(exercise(s), 0.0); }
};

}  // namespace vyr
