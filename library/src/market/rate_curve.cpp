#include "market/rate_curve.hpp"

#include <cmath>
#include <type_traits>

#include "core/error.hpp"

namespace vyr {

std::string CurveError::debug_text() const {
  if (length_mismatch) {
    return "LengthMismatch";
  }
  return "Interpolation(" + std::string(vyr::debug_text(interpolation)) + ")";
}

RateCurve RateCurve::flat(const InterestRate& rate) {
  return RateCurve(Flat{rate});
}

RateCurve RateCurve::continuous(double rate, DayCountConvention day_count) {
  return RateCurve(Continuous{InterestRate{day_count, rate, Compounding::continuous()}});
}

Expected<RateCurve, CurveError> RateCurve::interpolated(Date reference_date,
                                                        std::vector<Tenor> tenors,
                                                        std::vector<InterestRate> rates) {
  if (tenors.size() != rates.size()) {
    return Unexpected{CurveError{true, InterpolationError::LengthMismatch}};
  }
  // Node j sits at the time from the reference date to its tenor's date, measured under the
  // day count of its own rate; its value is the nominal rate whatever the compounding.
  const Instant start = Instant::midnight(reference_date);
  std::vector<double> times;
  std::vector<double> values;
  times.reserve(tenors.size());
  values.reserve(rates.size());
  for (std::size_t j = 0; j < tenors.size(); ++j) {
    const Date node_date = tenors[j].advance(reference_date);
    times.push_back(year_fraction(start, Instant::midnight(node_date), rates[j].dcc));
    values.push_back(rates[j].rate);
  }
  auto interpolator = LinearInterpolator::create(std::move(times), std::move(values));
  if (!interpolator) {
    return Unexpected{CurveError{false, interpolator.error()}};
  }
  return RateCurve(Interpolated{reference_date, std::move(tenors), std::move(rates),
                                std::move(interpolator).value()});
}

double RateCurve::zero_rate(double t) const {
  return std::visit(
      [t](const auto& curve) -> double {
        using Kind = std::decay_t<decltype(curve)>;
        if constexpr (std::is_same_v<Kind, Interpolated>) {
          return curve.interpolator.value(t);
        } else {
          return curve.rate.rate;
        }
      },
      kind_);
}

double RateCurve::discount_factor(double t) const {
  return std::visit(
      [t](const auto& curve) -> double {
        using Kind = std::decay_t<decltype(curve)>;
        if constexpr (std::is_same_v<Kind, Interpolated>) {
          // The interpolated zero rate is discounted with the first node's compounding.
          return curve.rates.front().compounding.discount_factor(curve.interpolator.value(t), t);
        } else {
          return curve.rate.discount_factor(t);
        }
      },
      kind_);
}

double RateCurve::continuous_rate(double t) const {
  // −ln(DF(t))/t in the form of each rule that keeps its precision for small t.
  const Compounding rule = compounding();
  const double z = zero_rate(t);
  switch (rule.kind()) {
    case Compounding::Kind::Continuous:
      return z;
    case Compounding::Kind::Simple:
      // DF = 1/(1 + z·t); at t ≤ 0 the limit of the short end.
      return t > 0.0 ? std::log1p(z * t) / t : z;
    case Compounding::Kind::Compounded: {
      // DF = (1 + z/n)^(−n·t), whatever t.
      const double n = static_cast<double>(periods_per_year(rule.frequency()));
      return n * std::log1p(z / n);
    }
    case Compounding::Kind::SimpleThenCompounded:
      break;
  }
  // The curve cannot discount; its discount factor reports it.
  return -std::log(discount_factor(t)) / t;
}

const InterestRate& RateCurve::defining_rate() const {
  return std::visit(
      [](const auto& curve) -> const InterestRate& {
        using Kind = std::decay_t<decltype(curve)>;
        if constexpr (std::is_same_v<Kind, Interpolated>) {
          return curve.rates.front();
        } else {
          return curve.rate;
        }
      },
      kind_);
}

DayCountConvention RateCurve::day_count() const {
  return defining_rate().dcc;
}

Compounding RateCurve::compounding() const {
  return defining_rate().compounding;
}

}  // namespace vyr
