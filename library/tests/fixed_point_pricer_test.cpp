// The fixed-point American pricer against published values, a binomial tree, the library's grid
// engine and its own high-accuracy setting, its Greeks against bumps, and its regimes, edge
// cases and input checks.
#include "methods/fixed_point/fixed_point_pricer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "fdm_allocation_counter.hpp"
#include "fdm_test_support.hpp"
#include "methods/analytic_pricer.hpp"
#include "methods/fixed_point/american_put.hpp"
#include "methods/fixed_point/exercise_boundary.hpp"

namespace vyr {
namespace {

constexpr OptionType kPut = OptionType::Put;
constexpr OptionType kCall = OptionType::Call;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

struct Option {
  OptionType type;
  double spot;
  double strike;
  double maturity;
  double sigma;
  double r;
  double q;
};

// For gtest's messages and the names of parametrised cases.
void PrintTo(const Option& o, std::ostream* os) {
  *os << (o.type == kPut ? "put" : "call") << " S=" << o.spot << " K=" << o.strike
      << " T=" << o.maturity << " sigma=" << o.sigma << " r=" << o.r << " q=" << o.q;
}

std::string case_name(const ::testing::TestParamInfo<Option>& info) {
  return (info.param.type == kPut ? "Put" : "Call") + std::to_string(info.index);
}

const FixedPointSettings kDefault{};
const FixedPointSettings kFine = FixedPointSettings::high_accuracy();

double price(const Option& o, const FixedPointSettings& s = kDefault) {
  return FixedPointPricer::price_only(o.type, o.strike, o.maturity, o.spot, o.sigma, o.r, o.q, s);
}

PricingResult greeks(const Option& o, const FixedPointSettings& s = kDefault) {
  return FixedPointPricer::price(o.type, o.strike, o.maturity, o.spot, o.sigma, o.r, o.q, s);
}

double european(const Option& o) {
  return AnalyticPricer::price_only(
      {o.type, ExerciseStyle::European, o.strike, o.maturity, o.spot, o.sigma, o.r, o.q});
}

double intrinsic(const Option& o) {
  return std::max(o.type == kPut ? o.strike - o.spot : o.spot - o.strike, 0.0);
}

// A binomial tree with the Black–Scholes value over its last step and Richardson extrapolation
// from n and 2n steps (Broadie and Detemple 1996): accurate to a few 1e-5 at n = 1000.
double binomial(const Option& o, int n) {
  const double dt = o.maturity / n;
  const double u = std::exp(o.sigma * std::sqrt(dt));
  const double d = 1.0 / u;
  const double p = (std::exp((o.r - o.q) * dt) - d) / (u - d);
  const double discount = std::exp(-o.r * dt);
  const auto exercise = [&](double s) {
    return std::max(o.type == kPut ? o.strike - s : s - o.strike, 0.0);
  };
  std::vector<double> v(n);
  double s = o.spot * std::pow(d, n - 1);
  for (int i = 0; i < n; ++i, s *= u * u) {
    v[i] = std::max(exercise(s), AnalyticPricer::price_only({o.type, ExerciseStyle::European,
                                                             o.strike, dt, s, o.sigma, o.r, o.q}));
  }
  for (int k = n - 2; k >= 0; --k) {
    s = o.spot * std::pow(d, k);
    for (int i = 0; i <= k; ++i, s *= u * u) {
      v[i] = std::max(exercise(s), discount * (p * v[i + 1] + (1.0 - p) * v[i]));
    }
  }
  return v[0];
}

double tree(const Option& o) {
  return 2.0 * binomial(o, 2000) - binomial(o, 1000);
}

// Longstaff and Schwartz (2001), "Valuing American options by simulation", Table 1: American
// puts with K = 40, r = 6 %, no dividends, the finite-difference column, given to three
// decimals. That grid reads about 0.006 low against converged values, hence the tolerance.
struct Published {
  double spot, sigma, maturity, value;
};

class PublishedPuts : public ::testing::TestWithParam<Published> {};

TEST_P(PublishedPuts, MatchTheTableToItsAccuracy) {
  const Published& p = GetParam();
  const Option o{kPut, p.spot, 40.0, p.maturity, p.sigma, 0.06, 0.0};
  EXPECT_NEAR(price(o), p.value, 0.01);
  EXPECT_NEAR(price(o), price(o, kFine), 1e-5);
}

INSTANTIATE_TEST_SUITE_P(
    LongstaffSchwartzTable1, PublishedPuts,
    ::testing::Values(
        Published{36, 0.2, 1, 4.478}, Published{36, 0.2, 2, 4.840}, Published{36, 0.4, 1, 7.101},
        Published{36, 0.4, 2, 8.508}, Published{38, 0.2, 1, 3.250}, Published{38, 0.2, 2, 3.745},
        Published{38, 0.4, 1, 6.148}, Published{38, 0.4, 2, 7.670}, Published{40, 0.2, 1, 2.314},
        Published{40, 0.2, 2, 2.885}, Published{40, 0.4, 1, 5.312}, Published{40, 0.4, 2, 6.920},
        Published{42, 0.2, 1, 1.617}, Published{42, 0.2, 2, 2.212}, Published{42, 0.4, 1, 4.582},
        Published{42, 0.4, 2, 6.248}, Published{44, 0.2, 1, 1.110}, Published{44, 0.2, 2, 1.690},
        Published{44, 0.4, 1, 3.948}, Published{44, 0.4, 2, 5.647}));

class AgainstATree : public ::testing::TestWithParam<Option> {};

TEST_P(AgainstATree, AgreesWithTheExtrapolatedBinomialTree) {
  const Option& o = GetParam();
  const double reference = tree(o);
  EXPECT_NEAR(price(o), reference, 1e-4);
  EXPECT_NEAR(price(o, kFine), reference, 1e-4);
  EXPECT_GT(price(o), european(o) + 1e-3) << "early exercise pays in every case here";
}

INSTANTIATE_TEST_SUITE_P(
    Regimes, AgainstATree,
    ::testing::Values(Option{kPut, 100, 100, 1.0, 0.2, 0.05, 0.0},
                      Option{kPut, 90, 100, 0.5, 0.3, 0.08, 0.02},
                      Option{kPut, 110, 100, 2.0, 0.25, 0.03, 0.06},   // q > r: starts at K·r/q
                      Option{kPut, 100, 100, 1.0, 0.25, 0.0, -0.03},   // r = 0, q < 0
                      Option{kPut, 100, 100, 1.0, 0.25, 0.05, -0.05},  // q < 0 < r
                      Option{kCall, 100, 100, 1.0, 0.3, 0.02, 0.06},
                      Option{kCall, 120, 100, 3.0, 0.25, 0.06, 0.04},   // r > q: starts above K
                      Option{kCall, 100, 100, 1.0, 0.25, -0.02, 0.0}),  // q = 0 > r
    case_name);

TEST(FixedPointPricer, AgreesWithTheGridEngineAsItIsRefined) {
  for (const Option o : {Option{kPut, 100, 100, 1.0, 0.2, 0.05, 0.0},
                         Option{kPut, 110, 100, 2.0, 0.25, 0.03, 0.06}}) {
    // The grid prices whole-second expiries: use the same year fraction.
    const double t = act365_year_fraction(fdm_test::valuation(), fdm_test::after_years(o.maturity));
    const Option same{o.type, o.spot, o.strike, t, o.sigma, o.r, o.q};
    const fdm_test::Market market{o.spot, o.sigma, o.r, o.q};
    const double coarse = fdm_test::fdm(kPut, ExerciseStyle::American, o.strike, o.maturity, market,
                                        fdm_test::config(401, 400))
                              .price;
    const double fine = fdm_test::fdm(kPut, ExerciseStyle::American, o.strike, o.maturity, market,
                                      fdm_test::config(801, 800))
                            .price;
    const double ours = price(same);
    EXPECT_NEAR(fine, ours, 3e-4);
    EXPECT_LT(std::fabs(fine - ours), std::fabs(coarse - ours)) << "the grid converges to it";
  }
}

// Part of the benchmark portfolio (American puts, K = 100): the default settings against the
// high-accuracy preset, which agrees with independent high-precision values to about 1e-7.
TEST(FixedPointPricer, DefaultSettingsMeetTheirAccuracyOnThePortfolio) {
  double squares = 0.0;
  double largest = 0.0;
  int count = 0;
  for (const double spot : {80.0, 100.0, 120.0}) {
    for (const double days : {30.0, 365.0, 1095.0}) {
      for (const double r : {0.02, 0.08}) {
        for (const double q : {0.0, 0.04, 0.08}) {
          for (const double sigma : {0.1, 0.25, 0.5}) {
            const Option o{kPut, spot, 100.0, days / 365.0, sigma, r, q};
            const double error = price(o) - price(o, kFine);
            squares += error * error;
            largest = std::max(largest, std::fabs(error));
            ++count;
          }
        }
      }
    }
  }
  EXPECT_LT(std::sqrt(squares / count), 1e-6);
  EXPECT_LT(largest, 1e-5);
}

TEST(FixedPointPricer, BoundedByTheEuropeanValueTheIntrinsicValueAndTheUnderlying) {
  for (const OptionType type : {kPut, kCall}) {
    for (const double spot : {40.0, 80.0, 95.0, 100.0, 105.0, 130.0, 250.0}) {
      for (const double maturity : {0.02, 0.5, 2.0}) {
        for (const double r : {0.0, 0.03, 0.09}) {
          for (const double q : {0.0, 0.05}) {
            const Option o{type, spot, 100.0, maturity, 0.3, r, q};
            const double v = price(o);
            EXPECT_GE(v, european(o) - 1e-10);
            EXPECT_GE(v, intrinsic(o) - 1e-12);
            EXPECT_LE(v, type == kPut ? o.strike : o.spot);
          }
        }
      }
    }
  }
}

TEST(FixedPointPricer, RisesWithMaturityAndFallsWithTheSpotForAPut) {
  double previous = 0.0;
  for (const double maturity : {0.01, 0.1, 0.5, 1.0, 3.0, 10.0}) {
    const double v = price({kPut, 100, 100, maturity, 0.25, 0.05, 0.02});
    EXPECT_GT(v, previous);
    previous = v;
  }
  previous = 101.0;
  for (double spot = 50.0; spot <= 200.0; spot += 2.5) {
    const double v = price({kPut, spot, 100, 1.0, 0.25, 0.05, 0.02});
    EXPECT_LE(v, previous);
    previous = v;
  }
}

TEST(FixedPointPricer, CallIsThePutWithSpotAndStrikeAndRateAndYieldExchanged) {
  for (const Option c :
       {Option{kCall, 110, 100, 1.0, 0.3, 0.03, 0.07}, Option{kCall, 90, 120, 2.0, 0.2, 0.05, 0.02},
        Option{kCall, 100, 100, 0.25, 0.4, 0.0, 0.03}}) {
    const Option p{kPut, c.strike, c.spot, c.maturity, c.sigma, c.q, c.r};
    EXPECT_EQ(std::bit_cast<std::uint64_t>(price(c)), std::bit_cast<std::uint64_t>(price(p)));
  }
}

// Greeks: delta, gamma and theta in spot and time, vega and rho in σ and r, by central bumps
// of the high-accuracy price.
PricingResult bumped(const Option& o) {
  const auto at = [&](double spot, double maturity, double sigma, double r) {
    return price({o.type, spot, o.strike, maturity, sigma, r, o.q}, kFine);
  };
  const double hs = 1e-4 * o.spot;
  const double h = 1e-4;
  const double ht = 1e-4 * o.maturity;
  const double v = at(o.spot, o.maturity, o.sigma, o.r);
  const double up = at(o.spot + hs, o.maturity, o.sigma, o.r);
  const double down = at(o.spot - hs, o.maturity, o.sigma, o.r);
  PricingResult g{};
  g.price = v;
  g.delta = (up - down) / (2.0 * hs);
  g.gamma = (up - 2.0 * v + down) / (hs * hs);
  g.theta =
      -(at(o.spot, o.maturity + ht, o.sigma, o.r) - at(o.spot, o.maturity - ht, o.sigma, o.r)) /
      (2.0 * ht);
  g.vega = (at(o.spot, o.maturity, o.sigma + h, o.r) - at(o.spot, o.maturity, o.sigma - h, o.r)) /
           (2.0 * h);
  g.rho = (at(o.spot, o.maturity, o.sigma, o.r + h) - at(o.spot, o.maturity, o.sigma, o.r - h)) /
          (2.0 * h);
  return g;
}

void expect_close(double actual, double expected, double relative, const char* what) {
  EXPECT_NEAR(actual, expected, relative * std::max(std::fabs(expected), 1e-2)) << what;
}

class Greeks : public ::testing::TestWithParam<Option> {};

TEST_P(Greeks, MatchBumpsOfTheHighAccuracyPrice) {
  const Option& o = GetParam();
  const PricingResult reference = bumped(o);
  // The method's own derivatives, at high accuracy: the bumps' truncation error only.
  const PricingResult fine = greeks(o, kFine);
  expect_close(fine.delta, reference.delta, 1e-6, "delta");
  expect_close(fine.gamma, reference.gamma, 1e-5, "gamma");
  expect_close(fine.theta, reference.theta, 1e-6, "theta");
  expect_close(*fine.vega, *reference.vega, 1e-6, "vega");
  expect_close(*fine.rho, *reference.rho, 1e-6, "rho");
  // The defaults, within 1e-5 relative of the reference.
  const PricingResult g = greeks(o);
  expect_close(g.delta, reference.delta, 1e-5, "default delta");
  expect_close(g.gamma, reference.gamma, 2e-5, "default gamma");
  expect_close(g.theta, reference.theta, 1e-5, "default theta");
  expect_close(*g.vega, *reference.vega, 1e-5, "default vega");
  expect_close(*g.rho, *reference.rho, 1e-5, "default rho");
}

INSTANTIATE_TEST_SUITE_P(
    Regimes, Greeks,
    ::testing::Values(Option{kPut, 100, 100, 1.0, 0.25, 0.05, 0.0},
                      Option{kPut, 90, 100, 2.0, 0.5, 0.05, 0.08},  // the boundary starts off K
                      Option{kPut, 120, 100, 0.25, 0.2, 0.08, 0.04},
                      Option{kPut, 100, 100, 1.0, 0.25, 0.01, -0.03},
                      Option{kCall, 110, 100, 1.0, 0.3, 0.03, 0.07},
                      Option{kCall, 95, 100, 3.0, 0.2, 0.08, 0.04},  // the boundary starts off K
                      Option{kCall, 100, 100, 0.5, 0.35, -0.01, 0.02}),
    case_name);

TEST(FixedPointPricer, PriceOnlyHasTheBitsOfThePriceWithGreeks) {
  for (const OptionType type : {kPut, kCall}) {
    for (const double spot : {20.0, 70.0, 99.0, 100.0, 140.0, 400.0}) {
      for (const double r : {-0.01, 0.0, 0.04}) {
        for (const double q : {-0.02, 0.0, 0.06}) {
          const Option o{type, spot, 100.0, 0.75, 0.3, r, q};
          const bool two = type == kPut ? q < r && r < 0.0 : r < q && q < 0.0;
          if (two) {
            continue;
          }
          const double only = price(o);
          EXPECT_EQ(std::bit_cast<std::uint64_t>(only),
                    std::bit_cast<std::uint64_t>(greeks(o).price));
          EXPECT_EQ(std::bit_cast<std::uint64_t>(only), std::bit_cast<std::uint64_t>(price(o)));
        }
      }
    }
  }
}

TEST(FixedPointPricer, EuropeanRegimesGiveTheClosedFormWithItsGreeks) {
  // Early exercise never pays: puts with r <= 0 and q >= r, calls with q <= 0 and r >= q.
  for (const Option o :
       {Option{kPut, 95, 100, 1.0, 0.2, 0.0, 0.0}, Option{kPut, 95, 100, 1.0, 0.2, -0.01, 0.03},
        Option{kPut, 95, 100, 1.0, 0.2, -0.02, -0.02},
        Option{kPut, 95, 100, 1.0, 0.2, -0.03, -0.01}, Option{kCall, 105, 100, 1.0, 0.2, 0.05, 0.0},
        Option{kCall, 105, 100, 1.0, 0.2, 0.05, -0.02},
        Option{kCall, 105, 100, 1.0, 0.2, -0.01, -0.01}}) {
    const PricingResult a = greeks(o);
    const PricingResult e = AnalyticPricer::price(
        {o.type, ExerciseStyle::European, o.strike, o.maturity, o.spot, o.sigma, o.r, o.q});
    EXPECT_EQ(a.price, e.price);
    EXPECT_EQ(a.delta, e.delta);
    EXPECT_EQ(a.gamma, e.gamma);
    EXPECT_EQ(a.theta, e.theta);
    EXPECT_EQ(*a.vega, *e.vega);
    EXPECT_EQ(*a.rho, *e.rho);
    EXPECT_EQ(price(o), european(o));
  }
}

std::string value_error(const Option& o, bool with_greeks) {
  try {
    if (with_greeks) {
      greeks(o);
    } else {
      price(o);
    }
  } catch (const ValueError& e) {
    return e.what();
  }
  return "no error";
}

TEST(FixedPointPricer, RefusesTheRegimesWithTwoExerciseBoundaries) {
  for (const bool with_greeks : {false, true}) {
    EXPECT_EQ(value_error({kPut, 100, 100, 1.0, 0.2, -0.01, -0.03}, with_greeks),
              "American put with q < r < 0 needs two exercise boundaries, which the fixed-point "
              "method does not price; route it to the grid");
    EXPECT_EQ(value_error({kCall, 100, 100, 1.0, 0.2, -0.03, -0.01}, with_greeks),
              "American call with r < q < 0 needs two exercise boundaries, which the fixed-point "
              "method does not price; route it to the grid");
  }
  // At expiry there is nothing to exercise against: the intrinsic value.
  EXPECT_EQ(price({kPut, 90, 100, 0.0, 0.2, -0.01, -0.03}), 10.0);
}

TEST(FixedPointPricer, AtExpiryGivesTheIntrinsicValueAndTheLimitsOfTheGreeks) {
  // A put in the money where exercise pays (r·K > q·S): theta 0.
  PricingResult g = greeks({kPut, 90, 100, 0.0, 0.2, 0.05, 0.02});
  EXPECT_EQ(g.price, 10.0);
  EXPECT_EQ(g.delta, -1.0);
  EXPECT_EQ(g.gamma, 0.0);
  EXPECT_EQ(g.theta, 0.0);
  EXPECT_EQ(*g.vega, 0.0);
  EXPECT_EQ(*g.rho, 0.0);
  // In the money where holding pays (q·S > r·K): the European carry r·K − q·S.
  g = greeks({kPut, 90, 100, 0.0, 0.2, 0.02, 0.08});
  EXPECT_NEAR(g.theta, 0.02 * 100 - 0.08 * 90, 1e-12);
  // Out of the money, and calls through the symmetry.
  g = greeks({kPut, 110, 100, 0.0, 0.2, 0.05, 0.0});
  EXPECT_EQ(g.price, 0.0);
  EXPECT_EQ(g.delta, 0.0);
  EXPECT_EQ(g.theta, 0.0);
  g = greeks({kCall, 110, 100, 0.0, 0.2, 0.05, 0.0});
  EXPECT_EQ(g.price, 10.0);
  EXPECT_EQ(g.delta, 1.0);
  EXPECT_EQ(g.gamma, 0.0);
  EXPECT_NEAR(g.theta, 0.0 * 110 - 0.05 * 100, 1e-12);
  // At the strike the payoff has a kink.
  g = greeks({kPut, 100, 100, 0.0, 0.2, 0.05, 0.0});
  EXPECT_EQ(g.price, 0.0);
  EXPECT_TRUE(std::isnan(g.delta) && std::isnan(g.gamma) && std::isnan(g.theta));
  EXPECT_EQ(*g.vega, 0.0);
}

TEST(FixedPointPricer, OneHourToExpiry) {
  for (const Option o : {Option{kPut, 100, 100, 1.0 / 8760, 0.2, 0.05, 0.0},
                         Option{kPut, 99.5, 100, 1.0 / 8760, 0.3, 0.05, 0.1},
                         Option{kCall, 100.2, 100, 1.0 / 8760, 0.4, 0.03, 0.2}}) {
    EXPECT_NEAR(price(o), tree(o), 2e-6);
    EXPECT_NEAR(price(o), price(o, kFine), 1e-8);
    const PricingResult g = greeks(o);
    EXPECT_TRUE(std::isfinite(g.delta) && std::isfinite(g.gamma) && std::isfinite(g.theta));
  }
}

TEST(FixedPointPricer, DeepInTheMoneyIsExercised) {
  // Below the perpetual boundary, and between it and the boundary at this maturity.
  const fixed_point::AmericanPut put{100, 1.0, 0.25, 0.06, 0.0};
  const double settled = fixed_point::ExerciseBoundary(put, kDefault, false).at_maturity();
  for (const double spot : {0.5 * put.perpetual_boundary(), 0.999 * settled}) {
    const PricingResult g = greeks({kPut, spot, 100, 1.0, 0.25, 0.06, 0.0});
    EXPECT_EQ(g.price, 100 - spot) << spot;
    EXPECT_EQ(g.delta, -1.0);
    EXPECT_EQ(g.gamma, 0.0);
    EXPECT_EQ(g.theta, 0.0);
    EXPECT_EQ(*g.vega, 0.0);
    EXPECT_EQ(*g.rho, 0.0);
  }
  // Just above the boundary the option is held, smooth pasting keeps delta near −1.
  const PricingResult held = greeks({kPut, 1.001 * settled, 100, 1.0, 0.25, 0.06, 0.0});
  EXPECT_GT(held.price, 100 - 1.001 * settled);
  EXPECT_NEAR(held.delta, -1.0, 0.01);
  EXPECT_GT(held.gamma, 0.0);
}

TEST(FixedPointPricer, DeepOutOfTheMoneyIsSmallPositiveAndEuropeanLike) {
  const Option o{kPut, 400, 100, 0.5, 0.2, 0.05, 0.0};
  const PricingResult g = greeks(o);
  EXPECT_GE(g.price, 0.0);
  EXPECT_LT(g.price, 1e-12);
  EXPECT_NEAR(g.price, european(o), 1e-14);
  EXPECT_TRUE(std::isfinite(g.delta) && std::isfinite(g.gamma) && std::isfinite(g.theta));
  EXPECT_TRUE(std::isfinite(*g.vega) && std::isfinite(*g.rho));
}

class Extremes : public ::testing::TestWithParam<Option> {};

TEST_P(Extremes, DefaultsStayCloseToTheHighAccuracyPreset) {
  // Very low and very high volatility, long maturities: the defaults raise their quadrature
  // where the integrands sharpen; relative agreement of 2e-5 (the portfolio's is 1e-7).
  const Option& o = GetParam();
  const double fine = price(o, kFine);
  EXPECT_NEAR(price(o), fine, 2e-5 * std::max(fine, 1.0));
  EXPECT_GE(fine, european(o) - 1e-12);
  const PricingResult g = greeks(o);
  EXPECT_TRUE(std::isfinite(g.delta) && std::isfinite(g.theta) && std::isfinite(*g.vega));
}

INSTANTIATE_TEST_SUITE_P(Regimes, Extremes,
                         ::testing::Values(Option{kPut, 100, 100, 1.0, 0.01, 0.05, 0.0},
                                           Option{kPut, 101, 100, 1.0, 0.01, 0.03, 0.05},
                                           Option{kCall, 100, 100, 1.0, 0.01, 0.0, 0.04},
                                           Option{kPut, 100, 100, 1.0, 3.0, 0.05, 0.0},
                                           Option{kCall, 150, 100, 2.0, 3.0, 0.05, 0.1},
                                           Option{kPut, 100, 100, 30.0, 0.25, 0.05, 0.0},
                                           Option{kPut, 100, 100, 30.0, 0.2, 0.05, 0.03},
                                           Option{kCall, 100, 100, 30.0, 0.3, 0.02, 0.04},
                                           Option{kPut, 100, 100, 30.0, 0.1, 0.1, 0.0}),
                         case_name);

TEST(FixedPointPricer, RejectsInputsOutsideTheModel) {
  const Option good{kPut, 100, 100, 1.0, 0.2, 0.05, 0.0};
  const auto with = [&](auto change) {
    Option o = good;
    change(o);
    return value_error(o, true);
  };
  EXPECT_EQ(with([](Option& o) { o.spot = -1.0; }),
            "American fixed-point pricing needs a positive, finite spot; got -1");
  EXPECT_EQ(with([](Option& o) { o.maturity = -0.5; }),
            "American fixed-point pricing needs a time to expiry that is finite and not "
            "negative; got -0.5");
  for (const double bad : {0.0, -2.0, kNaN, kInf}) {
    EXPECT_NE(with([&](Option& o) { o.spot = bad; }), "no error");
    EXPECT_NE(with([&](Option& o) { o.strike = bad; }), "no error");
    EXPECT_NE(with([&](Option& o) { o.sigma = bad; }), "no error");
  }
  for (const double bad : {kNaN, kInf, -kInf}) {
    EXPECT_NE(with([&](Option& o) { o.maturity = bad; }), "no error");
    EXPECT_NE(with([&](Option& o) { o.r = bad; }), "no error");
    EXPECT_NE(with([&](Option& o) { o.q = bad; }), "no error");
  }
  EXPECT_THROW(price({kCall, 100, 100, 1.0, kNaN, 0.05, 0.0}), ValueError);
}

TEST(FixedPointPricer, ValidatesItsSettings) {
  const Option o{kPut, 100, 100, 1.0, 0.2, 0.05, 0.0};
  const auto message = [&](auto change) {
    FixedPointSettings s;
    change(s);
    try {
      FixedPointPricer::price_only(o.type, o.strike, o.maturity, o.spot, o.sigma, o.r, o.q, s);
    } catch (const ValueError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([](FixedPointSettings& s) { s.collocation_nodes = 1; }),
            "FixedPointSettings: collocation_nodes must be in [2, 48], got 1");
  EXPECT_EQ(message([](FixedPointSettings& s) { s.collocation_nodes_off_strike = 49; }),
            "FixedPointSettings: collocation_nodes_off_strike must be in [2, 48], got 49");
  EXPECT_EQ(message([](FixedPointSettings& s) { s.iterations = 17; }),
            "FixedPointSettings: iterations must be in [0, 16], got 17");
  EXPECT_EQ(message([](FixedPointSettings& s) { s.boundary_quadrature_nodes = 0; }),
            "FixedPointSettings: boundary_quadrature_nodes must be in [1, 128], got 0");
  EXPECT_EQ(message([](FixedPointSettings& s) { s.premium_quadrature_nodes = 129; }),
            "FixedPointSettings: premium_quadrature_nodes must be in [1, 128], got 129");
  EXPECT_EQ(message([](FixedPointSettings& s) { s.first_iteration_quadrature_nodes = 0; }),
            "FixedPointSettings: first_iteration_quadrature_nodes must be in [1, 128], got 0");
  EXPECT_EQ(message([](FixedPointSettings& s) { s.step_tolerance = -1.0; }),
            "FixedPointSettings: step_tolerance must be finite and not negative, got -1");
  EXPECT_EQ(message([](FixedPointSettings& s) { s.step_tolerance = kNaN; }),
            "FixedPointSettings: step_tolerance must be finite and not negative, got NaN");
  // The ends of every range price, the coarsest roughly, the finest accurately.
  FixedPointSettings coarse;
  coarse.collocation_nodes = 2;
  coarse.iterations = 0;
  coarse.boundary_quadrature_nodes = 1;
  coarse.premium_quadrature_nodes = 1;
  const double fine = price(o, kFine);
  EXPECT_NEAR(price(o, coarse), fine, 0.1 * fine);
  FixedPointSettings finest;
  finest.collocation_nodes = 48;
  finest.collocation_nodes_off_strike = 48;
  finest.iterations = 16;
  finest.first_iteration_quadrature_nodes = 128;
  finest.boundary_quadrature_nodes = 128;
  finest.premium_quadrature_nodes = 128;
  EXPECT_NEAR(price(o, finest), fine, 1e-9);
  kFine.validate();
}

TEST(FixedPointPricer, PricesWithoutAllocating) {
  if (!fdm_test::counting()) {
    GTEST_SKIP() << "operator new is not counted in this binary";
  }
  // Warm the process-wide rule tables first: they are built once per size.
  greeks({kPut, 100, 100, 1.0, 0.2, 0.05, 0.02});
  greeks({kCall, 100, 100, 1.0, 0.2, 0.02, 0.05});
  const std::uint64_t before = fdm_test::allocations();
  for (int i = 0; i < 5; ++i) {
    price({kPut, 95.0 + i, 100, 1.0, 0.2, 0.05, 0.02});
    greeks({kCall, 95.0 + i, 100, 1.0, 0.2, 0.02, 0.05});
  }
  EXPECT_EQ(fdm_test::allocations(), before);
}

}  // namespace
}  // namespace vyr
