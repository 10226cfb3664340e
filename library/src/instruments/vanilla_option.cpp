#include "instruments/vanilla_option.hpp"

#include "core/period.hpp"

namespace vyr {

double VanillaOption::years_to_expiry(const Instant& valuation) const {
  return act365_year_fraction(valuation, expiry);
}

}  // namespace vyr
