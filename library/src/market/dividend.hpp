// Discrete cash dividends of the underlying, in the order the user gave them.
#pragma once

#include <vector>

#include "core/instant.hpp"

namespace vyr {

struct Dividend {
  Instant ex_date;
  // Any value is stored: zero, negative, infinite and NaN amounts included.
  double amount;
};

// Ordered as given: not sorted, equal ex-dates not merged, nothing dropped.
using DividendList = std::vector<Dividend>;

}  // namespace vyr
