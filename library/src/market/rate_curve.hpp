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
  // The continuously compounded rate at which the curve discounts over [0, t]:
  // −ln(discount_factor(t)) / t, computed in the form of each compounding rule that keeps its
  // precision: under continuous compounding (the held rate's, or the first rate's of an
  // interpolated curve) the zero rate itself, exactly; ln(1 + z·t)/t under simple compounding
  // (z at t ≤ 0, the limit at the short end); n·ln(1 + z/n) under compounding n times a year.
  // Panics as discount_factor does under SimpleThenCompounded.
  double continuous_rate(double t) const;
  // The held rate's convention for flat and continuous curves; the first rate's for an
  // interpolated curve.
  DayCountConvention day_count() const;
  // The compounding that discount_factor applies: the held rate's, or the first rate's of an
  // interpolated curve.
  Compounding compounding() const;

  bool is_interpolated() const { return std::holds_alternative<Interpolated>(kind_); }
  const std::variant<Flat, Interpolated, Continuous>& kind() const { return kind_; }

 private:
  template <typename Kind>
  explicit RateCurve(Kind kind) : kind_(std::move(kind)) {}

  // The rate whose convention and compounding the curve carries: the held one, or the first of
  // an interpolated curve's (which has at least two).
  const InterestRate& defining_rate() const;

  std::variant<Flat, Interpolated, Continuous> kind_;
};

}  // namespace vyr
