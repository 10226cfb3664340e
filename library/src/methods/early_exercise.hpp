// When early exercise of an American option never pays, so that its value is the European one
// (without cash dividends, under Black–Scholes with a continuous rate r and yield q).
#pragma once

#include "instruments/vanilla_option.hpp"

namespace vyr {

// A put: when the strike earns no interest (r ≤ 0) and the stock does not cost more carry than
// the cash does (q ≥ r).
inline bool put_early_exercise_never_pays(double r, double q) {
  return r <= 0.0 && q >= r;
}

// A call is the put with r and q exchanged: q ≤ 0 and r ≥ q.
inline bool early_exercise_never_pays(OptionType type, double r, double q) {
  return type == OptionType::Put ? put_early_exercise_never_pays(r, q)
                                 : put_early_exercise_never_pays(q, r);
}

}  // namespace vyr
