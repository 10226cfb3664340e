// What every pricer takes: the option's terms and the market as constants, times in years.
#pragma once

#include "instruments/vanilla_option.hpp"

namespace vyr {

struct PricingInputs {
  OptionType type;
  ExerciseStyle style;
  double strike;
  double maturity;  // years from the valuation time to expiry (Actual/365 Fixed)
  double spot;
  double sigma;
  double r;  // continuously compounded rate
  double q;  // continuous dividend or borrow yield
};

}  // namespace vyr
