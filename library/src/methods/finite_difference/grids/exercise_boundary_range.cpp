#include "methods/finite_difference/grids/exercise_boundary_range.hpp"

#include <cmath>
#include <limits>

namespace vyr {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Standard deviations of the life: the margin beyond the estimated boundary at the valuation
// time, the estimate's distance from B₀, and the reach of the boundary into the continuation
// region.
constexpr double kBeyondBoundary = 0.5;
constexpr double kBoundaryTravel = 2.0;
constexpr double kContinuationReach = 4.0;

}  // namespace

double perpetual_exponent(OptionType type, double sigma, double r, double q) {
  const double variance = sigma * sigma;
  const double b = r - q - variance / 2.0;
  const double disc = std::sqrt(b * b + 2.0 * r * variance);
  if (type == OptionType::Put) {
    return b > 0.0 ? (-b - disc) / variance : -2.0 * r / (disc - b);
  }
  return b < 0.0 ? (disc - b) / variance : 2.0 * r / (disc + b);
}

ExerciseBoundaryRange put_exercise_boundary_range(double strike, double sigma, double r, double q) {
  const double variance = sigma * sigma;
  if (!(r > 0.0) || !(variance > 0.0) || !std::isfinite(variance) || !std::isfinite(q) ||
      !std::isfinite(r)) {
    return {kNaN, kNaN};
  }
  const double start = q > r ? strike * (r / q) : strike;
  const double beta = perpetual_exponent(OptionType::Put, sigma, r, q);
  return {start, strike * (beta / (beta - 1.0))};
}

SpotRange clear_of_exercise_boundary(const SpotRange& range, OptionType type, ExerciseStyle style,
                                     double strike, double sigma, double maturity, double r,
                                     double q) {
  if (style != ExerciseStyle::American) {
    return range;
  }
  const double width = sigma * std::sqrt(maturity);
  if (!(width > 0.0) || !std::isfinite(width) || !(strike > 0.0)) {
    return range;
  }
  // In log-moneyness measured into the money: a put's ln(K/S), a call's ln(S/K). A call's
  // boundary is the put's with r and q exchanged, mirrored.
  const bool call = type == OptionType::Call;
  const ExerciseBoundaryRange boundary = call ? put_exercise_boundary_range(strike, sigma, q, r)
                                              : put_exercise_boundary_range(strike, sigma, r, q);
  if (!std::isfinite(boundary.start) || !std::isfinite(boundary.perpetual)) {
    return range;
  }
  const double start = std::log(strike / boundary.start);
  const double estimate =
      std::fmin(start + kBoundaryTravel * width, std::log(strike) - std::log(boundary.perpetual));
  const double edge = call ? std::log(range.s_max / strike) : std::log(strike / range.s_min);
  // How far the spot can travel toward the boundary over the life: diffusion, and the drift of
  // the log spot when it runs that way (a put's whose yield far exceeds its rate).
  const double drift = (r - q - sigma * sigma / 2.0) * (call ? 1.0 : -1.0);
  const double reach = kContinuationReach * width + std::fmax(drift * maturity, 0.0);
  if (!(edge > start - reach) || !(edge < estimate)) {
    return range;
  }
  // Grids are centred on the strike in log-spot; so is the widened range.
  const double half_width = estimate + kBeyondBoundary * width;
  const double log_strike = std::log(strike);
  return {std::exp(log_strike - half_width), std::exp(log_strike + half_width)};
}

}  // namespace vyr
