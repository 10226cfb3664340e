// Rate curves: a zero rate and a discount factor for a time in years.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/date.hpp"
#include "core/expected.hpp"
#include "core/period.hpp"
#include "core/rate.hpp"
#include "math/interpolate/linear.hpp"

namespace vyr {

// The construction error of an interpolated curve.
struct CurveError {
  // Set for LengthMismatch; otherwise `interpolation` holds the interpolator's error.
  bool length_mismatch;
  InterpolationError interpolation;

  // "LengthMismatch" or "Interpolation(<interpolation error>)".
  std::string debug_text() const;
};

class RateCurve {
 public:
  struct Flat {
    InterestRate rate;
  };
  struct Interpolated {
    Date reference_date;
    std::vector<Tenor> tenors;
    std::vector<InterestRate> rates;
    // xs: node times under each rate's own day count; ys: the nominal rates.
    LinearInterpolator interpolator;
  };
  struct Continuous {
    InterestRate rate;
  };

  static RateCurve flat(const InterestRate& rate);
  static RateCurve continuous(double rate, DayCountConvention day_count);
  // Tenor advance failures propagate as Panic (see Tenor::advance).
  static Expected<RateCurve, CurveError> interpolated(Date reference_date,
                                                      std::vector<Tenor> tenors,
                                                      std::vector<InterestRate> rates);

  double zero_rate(double t) const;
  // Throws Panic "not yet implemented: Implement other logic" under SimpleThenCompounded.
  double discount_factor(double t) const;
  // The held rate's convention for flat and continuous curves; Panic "not yet implemented" for
  // an interpolated curve.
  DayCountConvention day_count() const;

  bool is_interpolated() const { return std::holds_alternative<Interpolated>(kind_); }
  const std::variant<Flat, Interpolated, Continuous>& kind() const { return kind_; }

 private:
  template <typename Kind>
  explicit RateCurve(Kind kind) : kind_(std::move(kind)) {}

  std::variant<Flat, Interpolated, Continuous> kind_;
};

}  // namespace vyr
