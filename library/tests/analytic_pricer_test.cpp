#include "methods/analytic_pricer.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "pricing_test_support.hpp"

namespace vyr {
namespace {

constexpr std::int64_t kValuationUnix = 1'700'000'000;
constexpr std::int64_t kYear = 31'536'000;

// Built on demand: the calendar's range is not known during static initialisation.
Instant valuation() {
  return *Instant::from_unix(kValuationUnix, 0);
}

VanillaOption option(OptionType type, double strike, std::int64_t seconds_to_expiry,
                     ExerciseStyle style = ExerciseStyle::European) {
  return {strike, *Instant::from_unix(kValuationUnix + seconds_to_expiry, 0), type, style};
}

struct Market {
  double spot, sigma, r, q;
};

PricingResult price(OptionType type, double strike, std::int64_t seconds, const Market& m) {
  return pricing_test::closed_form(option(type, strike, seconds), valuation(), m.spot, m.sigma, m.r,
                                   m.q);
}

TEST(AnalyticPricer, TextbookValues) {
  const Market m{100, 0.2, 0.05, 0};
  const PricingResult call = price(OptionType::Call, 100, kYear, m);
  const PricingResult put = price(OptionType::Put, 100, kYear, m);
  EXPECT_NEAR(call.price, 10.450583572185565, 1e-12);
  EXPECT_NEAR(put.price, 5.573526022256971, 1e-12);
  EXPECT_NEAR(call.delta, 0.6368306511756191, 1e-12);
  EXPECT_NEAR(put.delta, 0.6368306511756191 - 1, 1e-12);
  EXPECT_NEAR(call.gamma, 0.018762017345846895, 1e-12);
  EXPECT_NEAR(*call.vega, 37.52403469169379, 1e-10);
  EXPECT_NEAR(*call.rho, 53.232481545376345, 1e-10);
  EXPECT_NEAR(call.theta, -6.414027546438197, 1e-10);
  EXPECT_EQ(put.gamma, call.gamma);
  EXPECT_EQ(*put.vega, *call.vega);
}

TEST(AnalyticPricer, PutCallParityWithYield) {
  const struct {
    double strike;
    std::int64_t seconds;
    Market market;
  } cases[] = {
      {100, kYear, {100, 0.2, 0.05, 0.03}},     {80, kYear / 4, {100, 0.35, 0.01, 0.06}},
      {130, 3 * kYear, {95, 0.15, 0.07, 0.02}}, {100, 86400, {101, 0.5, -0.01, 0.04}},
      {50, 10 * kYear, {60, 0.8, 0.03, -0.02}}, {1e4, kYear, {1e4, 0.25, 0.0, 0.1}},
  };
  for (const auto& c : cases) {
    const double t = static_cast<double>(c.seconds) / kYear;
    const PricingResult call = price(OptionType::Call, c.strike, c.seconds, c.market);
    const PricingResult put = price(OptionType::Put, c.strike, c.seconds, c.market);
    const double dq = std::exp(-c.market.q * t);
    const double dr = std::exp(-c.market.r * t);
    const double forward = c.market.spot * dq - c.strike * dr;
    EXPECT_NEAR(call.price - put.price, forward, 1e-12 * c.strike) << c.strike;
    EXPECT_NEAR(call.delta - put.delta, dq, 1e-14) << c.strike;
    EXPECT_NEAR(*call.rho - *put.rho, c.strike * t * dr, 1e-10 * c.strike) << c.strike;
    EXPECT_NEAR(call.theta - put.theta,
                c.market.q * c.market.spot * dq - c.market.r * c.strike * dr, 1e-10 * c.strike)
        << c.strike;
  }
}

TEST(AnalyticPricer, GreeksMatchFiniteDifferences) {
  const struct {
    double strike;
    double t;
    Market market;
  } cases[] = {
      {100, 1.0, {100, 0.2, 0.05, 0.0}},
      {90, 0.5, {100, 0.3, 0.02, 0.04}},
      {120, 2.0, {100, 0.25, 0.06, 0.01}},
  };
  for (const OptionType type : {OptionType::Call, OptionType::Put}) {
    for (const auto& c : cases) {
      const Market& m = c.market;
      const auto v = [&](double t, double s, double sigma, double r) {
        return AnalyticPricer::price_only(
            {type, ExerciseStyle::European, c.strike, t, s, sigma, r, m.q});
      };
      const std::int64_t seconds = std::llround(c.t * kYear);
      const PricingResult g = price(type, c.strike, seconds, m);
      const double ds = 1e-4 * m.spot;
      const double h = 1e-5;
      const double base = v(c.t, m.spot, m.sigma, m.r);
      EXPECT_NEAR(
          g.delta,
          (v(c.t, m.spot + ds, m.sigma, m.r) - v(c.t, m.spot - ds, m.sigma, m.r)) / (2 * ds), 1e-7);
      EXPECT_NEAR(
          g.gamma,
          (v(c.t, m.spot + ds, m.sigma, m.r) - 2 * base + v(c.t, m.spot - ds, m.sigma, m.r)) /
              (ds * ds),
          1e-6);
      EXPECT_NEAR(*g.vega,
                  (v(c.t, m.spot, m.sigma + h, m.r) - v(c.t, m.spot, m.sigma - h, m.r)) / (2 * h),
                  1e-5);
      EXPECT_NEAR(*g.rho,
                  (v(c.t, m.spot, m.sigma, m.r + h) - v(c.t, m.spot, m.sigma, m.r - h)) / (2 * h),
                  1e-5);
      EXPECT_NEAR(g.theta,
                  -(v(c.t + h, m.spot, m.sigma, m.r) - v(c.t - h, m.spot, m.sigma, m.r)) / (2 * h),
                  1e-5);
    }
  }
}

TEST(AnalyticPricer, AtExpiryIntrinsicValueWithUndefinedGammaAndTheta) {
  const Market m{110, 0.2, 0.05, 0.02};
  const PricingResult call = price(OptionType::Call, 100, 0, m);
  EXPECT_EQ(call.price, 10.0);
  EXPECT_EQ(call.delta, 1.0);
  EXPECT_EQ(*call.vega, 0.0);
  EXPECT_EQ(*call.rho, 0.0);
  EXPECT_TRUE(std::isnan(call.gamma));
  EXPECT_TRUE(std::isnan(call.theta));

  const PricingResult otm_put = price(OptionType::Put, 100, 0, m);
  EXPECT_EQ(otm_put.price, 0.0);
  EXPECT_EQ(otm_put.delta, 0.0);
  const PricingResult itm_put = price(OptionType::Put, 120, 0, m);
  EXPECT_EQ(itm_put.price, 10.0);
  EXPECT_EQ(itm_put.delta, -1.0);
  EXPECT_TRUE(std::isnan(itm_put.theta));
}

bool all_nan(const PricingResult& g) {
  return g.vega && g.rho && std::isnan(*g.vega) && std::isnan(*g.rho) && std::isnan(g.delta) &&
         std::isnan(g.gamma) && std::isnan(g.theta) && std::isnan(g.price);
}

TEST(AnalyticPricer, DegenerateInputsGiveNaNNotErrors) {
  const double nan = std::nan("");
  const Market m{100, 0.2, 0.05, 0.01};
  for (const OptionType type : {OptionType::Call, OptionType::Put}) {
    EXPECT_TRUE(all_nan(price(type, 100, 0, m)));        // at the money at expiry
    EXPECT_TRUE(all_nan(price(type, 100, -43'200, m)));  // after expiry
    EXPECT_TRUE(all_nan(price(type, 90, -1, m)));
    EXPECT_TRUE(all_nan(price(type, 100, kYear, {nan, 0.2, 0.05, 0.0})));
    EXPECT_TRUE(all_nan(price(type, 100, kYear, {100, nan, 0.05, 0.0})));
    EXPECT_TRUE(all_nan(price(type, 100, kYear, {100, 0.2, nan, 0.0})));
    EXPECT_TRUE(all_nan(price(type, nan, kYear, m)));
  }
  // Zero volatility: the forward is known, so the price is its discounted intrinsic value.
  const PricingResult call = price(OptionType::Call, 90, kYear, {100, 0.0, 0.05, 0.01});
  EXPECT_NEAR(call.price, 100 * std::exp(-0.01) - 90 * std::exp(-0.05), 1e-12);
  EXPECT_EQ(call.delta, std::exp(-0.01));
  EXPECT_TRUE(std::isnan(call.gamma));
}

TEST(AnalyticPricer, PriceOnlyMatchesPriceBitForBit) {
  const double nan = std::nan("");
  const struct {
    double strike;
    std::int64_t seconds;
    Market market;
  } cases[] = {
      {100, kYear, {100, 0.2, 0.05, 0.0}},      {80, 12'345, {100, 0.35, 0.01, 0.06}},
      {130, 3 * kYear, {95, 0.15, 0.07, 0.02}}, {100, 0, {120, 0.2, 0.05, 0.0}},
      {100, -5, {100, 0.2, 0.05, 0.0}},         {1e-3, kYear, {1e4, 4.9, 0.3, 0.0}},
      {90, kYear, {100, 0.0, 0.05, 0.01}},      {100, kYear, {100, nan, 0.05, 0.0}},
  };
  for (const OptionType type : {OptionType::Call, OptionType::Put}) {
    for (const auto& c : cases) {
      const Market& m = c.market;
      const double full = price(type, c.strike, c.seconds, m).price;
      const double t = static_cast<double>(c.seconds) / kYear;
      const double only = AnalyticPricer::price_only(
          {type, ExerciseStyle::European, c.strike, t, m.spot, m.sigma, m.r, m.q});
      EXPECT_EQ(std::bit_cast<std::uint64_t>(only), std::bit_cast<std::uint64_t>(full))
          << c.strike << " " << c.seconds;
    }
  }
}

TEST(AnalyticPricer, ExerciseStyleIsIgnored) {
  const VanillaOption american = option(OptionType::Put, 100, kYear, ExerciseStyle::American);
  const VanillaOption european = option(OptionType::Put, 100, kYear);
  EXPECT_EQ(pricing_test::closed_form(american, valuation(), 95, 0.3, 0.05, 0.0).price,
            pricing_test::closed_form(european, valuation(), 95, 0.3, 0.05, 0.0).price);
}

TEST(NormalCdf, KnownValuesAndSymmetry) {
  EXPECT_EQ(normal_cdf(0.0), 0.5);
  EXPECT_NEAR(normal_cdf(1.959963984540054), 0.975, 1e-15);
  EXPECT_NEAR(normal_cdf(-1.0), 0.15865525393145707, 1e-16);
  EXPECT_EQ(normal_cdf(INFINITY), 1.0);
  EXPECT_EQ(normal_cdf(-INFINITY), 0.0);
  EXPECT_TRUE(std::isnan(normal_cdf(std::nan(""))));
  for (double x = -8.0; x <= 8.0; x += 0.25) {
    EXPECT_NEAR(normal_cdf(x) + normal_cdf(-x), 1.0, 1e-15) << x;
  }
}

}  // namespace
}  // namespace vyr
