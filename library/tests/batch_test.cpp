#include "execution/batch.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "core/period.hpp"
#include "execution/implied_vol.hpp"
#include "execution/valuation.hpp"

namespace vyr {
namespace {

const DayCountConvention kAct365 = DayCountConvention::actual_365_fixed();

Instant instant(std::int64_t year, std::int64_t month, std::int64_t day) {
  return *Instant::from_parts(*Date::from_ymd(year, month, day), 0, 0);
}

const Instant kValuation = instant(2024, 1, 2);

MarketFrame frame(double r = 0.05, std::optional<double> q = std::nullopt,
                  DividendList dividends = {}, DayCountConvention vol_dcc = kAct365) {
  std::optional<RateCurve> borrow;
  if (q) {
    borrow = RateCurve::continuous(*q, kAct365);
  }
  return MarketFrame{100.0, RateCurve::continuous(r, kAct365), VolSurface::flat(0.2, vol_dcc),
                     std::move(dividends), std::move(borrow)};
}

// Rows kept as columns, with room for the outputs.
struct Chain {
  std::vector<double> strikes;
  std::vector<Instant> expiries;
  std::vector<OptionType> types;
  std::vector<ExerciseStyle> styles;
  std::vector<double> price, delta, gamma, theta, vega, rho, vol;

  void add(double strike, Instant expiry, OptionType type, ExerciseStyle style) {
    strikes.push_back(strike);
    expiries.push_back(expiry);
    types.push_back(type);
    styles.push_back(style);
    for (auto* column : {&price, &delta, &gamma, &theta, &vega, &rho, &vol}) {
      column->push_back(-1.0);
    }
  }
  OptionColumns options() const { return OptionColumns{strikes, expiries, types, styles}; }
  ValuationColumns outputs() { return ValuationColumns{price, delta, gamma, theta, vega, rho}; }
};

// Every combination of style and type, a few strikes and expiries, one of them already expired.
Chain mixed_chain() {
  Chain chain;
  for (const ExerciseStyle style : {ExerciseStyle::European, ExerciseStyle::American}) {
    for (const OptionType type : {OptionType::Call, OptionType::Put}) {
      for (const double strike : {80.0, 100.0, 125.0}) {
        for (const Instant expiry : {instant(2024, 2, 1), instant(2025, 1, 1), kValuation}) {
          chain.add(strike, expiry, type, style);
        }
      }
    }
  }
  return chain;
}

bool same_bits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// The single call's outcome: its result, or the failure it throws.
struct Single {
  std::optional<PricingResult> result;
  std::optional<double> vol;
  std::string message;
  RowErrorKind kind{};
};

template <typename Call>
Single single(Call&& call) {
  Single outcome;
  try {
    call(outcome);
  } catch (const ValueError& error) {
    outcome.kind = RowErrorKind::ValueError;
    outcome.message = error.what();
  } catch (const Panic& error) {
    outcome.kind = RowErrorKind::Panic;
    outcome.message = error.what();
  } catch (const std::bad_alloc&) {
    outcome.kind = RowErrorKind::MemoryError;
    outcome.message = "out of memory";
  }
  return outcome;
}

const RowError* failure_of(const std::vector<RowError>& failures, std::size_t row) {
  for (const RowError& failure : failures) {
    if (failure.row == row) {
      return &failure;
    }
  }
  return nullptr;
}

struct Setting {
  const char* name;
  MarketFrame market;
  PricingConfig config;
};

PricingConfig routed(PricingMethod::Kind kind, std::optional<FdmConfig> settings = std::nullopt,
                     std::vector<ExerciseStyle> styles = {}) {
  return PricingConfig::initial().with_policy(
      InstrumentPolicy{PricingMethod{kind, settings}, std::move(styles), {}});
}

FdmConfig small_grid() {
  FdmConfig settings;
  settings.grid_nodes = 41;
  settings.time_steps = 7;
  return settings;
}

std::vector<Setting> settings() {
  const DividendList dividends{{instant(2024, 6, 3), 1.5}, {instant(2024, 3, 1), 0.5}};
  return {
      {"initial routing", frame(), PricingConfig::initial()},
      {"borrow above rate, American analytic", frame(0.01, 0.03),
       routed(PricingMethod::Kind::Analytic, std::nullopt, {ExerciseStyle::American})},
      {"everything on a small grid with dividends", frame(0.03, 0.01, dividends),
       routed(PricingMethod::Kind::Fdm, small_grid())},
      {"mismatched day counts", frame(0.05, std::nullopt, {}, DayCountConvention::actual_360()),
       PricingConfig::initial()},
  };
}

class BatchMatchesSingleCalls : public ::testing::TestWithParam<Setting> {};

TEST_P(BatchMatchesSingleCalls, Valuation) {
  const Setting& setting = GetParam();
  Chain chain = mixed_chain();
  const BatchSetting batch{setting.market, kValuation, setting.config};
  const std::vector<RowError> failures =
      value_options(chain.options(), batch, OnRowError::Continue, chain.outputs());

  for (std::size_t row = 0; row < chain.strikes.size(); ++row) {
    SCOPED_TRACE(row);
    const Single expected = single([&](Single& out) {
      out.result =
          value_option(chain.options().option(row), &setting.market, kValuation, &setting.config);
    });
    const RowError* failure = failure_of(failures, row);
    if (expected.result) {
      ASSERT_EQ(failure, nullptr) << failure->message;
      const PricingResult& r = *expected.result;
      EXPECT_TRUE(same_bits(chain.price[row], r.price));
      EXPECT_TRUE(same_bits(chain.delta[row], r.delta));
      EXPECT_TRUE(same_bits(chain.gamma[row], r.gamma));
      EXPECT_TRUE(same_bits(chain.theta[row], r.theta));
      // An absent vega or rho reads NaN; a present one keeps its bits (NaN at expiry too).
      EXPECT_TRUE(r.vega ? same_bits(chain.vega[row], *r.vega) : std::isnan(chain.vega[row]));
      EXPECT_TRUE(r.rho ? same_bits(chain.rho[row], *r.rho) : std::isnan(chain.rho[row]));
    } else {
      ASSERT_NE(failure, nullptr);
      EXPECT_EQ(failure->kind, expected.kind);
      EXPECT_EQ(failure->message, expected.message);
      for (const double value : {chain.price[row], chain.delta[row], chain.gamma[row],
                                 chain.theta[row], chain.vega[row], chain.rho[row]}) {
        EXPECT_TRUE(std::isnan(value));
      }
    }
  }
  // Failures come in row order.
  for (std::size_t i = 1; i < failures.size(); ++i) {
    EXPECT_LT(failures[i - 1].row, failures[i].row);
  }
}

TEST_P(BatchMatchesSingleCalls, ImpliedVolatility) {
  const Setting& setting = GetParam();
  Chain chain = mixed_chain();
  // Targets priced in closed form at 0.3, plus one below intrinsic and one NaN.
  std::vector<double> prices;
  for (std::size_t row = 0; row < chain.strikes.size(); ++row) {
    prices.push_back(row % 7 == 3 ? -1.0 : row % 11 == 5 ? std::nan("") : 5.0 + 0.25 * row);
  }
  const BatchSetting batch{setting.market, kValuation, setting.config};
  const std::vector<RowError> failures =
      implied_volatilities(chain.options(), prices, batch, OnRowError::Continue, chain.vol);

  for (std::size_t row = 0; row < chain.strikes.size(); ++row) {
    SCOPED_TRACE(row);
    const Single expected = single([&](Single& out) {
      out.vol = implied_volatility(chain.options().option(row), &setting.market, kValuation,
                                   &setting.config, prices[row]);
    });
    const RowError* failure = failure_of(failures, row);
    if (expected.vol) {
      ASSERT_EQ(failure, nullptr) << failure->message;
      EXPECT_TRUE(same_bits(chain.vol[row], *expected.vol));
    } else {
      ASSERT_NE(failure, nullptr);
      EXPECT_EQ(failure->kind, expected.kind);
      EXPECT_EQ(failure->message, expected.message);
      EXPECT_TRUE(std::isnan(chain.vol[row]));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Settings, BatchMatchesSingleCalls, ::testing::ValuesIn(settings()),
                         [](const ::testing::TestParamInfo<Setting>& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) {
                               c = '_';
                             }
                           }
                           return name;
                         });

TEST(Batch, FailuresOfEveryFamily) {
  Chain chain;
  chain.add(100.0, instant(2025, 1, 1), OptionType::Put, ExerciseStyle::American);
  chain.add(100.0, instant(2025, 1, 1), OptionType::Call, ExerciseStyle::American);
  FdmConfig huge;
  huge.grid_nodes = std::uint64_t{1} << 50;
  const MarketFrame market = frame(0.01, 0.03);
  // American puts on an impossible grid, American calls in closed form with q > r.
  const PricingConfig config =
      PricingConfig::initial()
          .with_policy(InstrumentPolicy{PricingMethod{PricingMethod::Kind::Fdm, huge},
                                        {ExerciseStyle::American},
                                        {OptionType::Put}})
          .with_policy(InstrumentPolicy{PricingMethod{PricingMethod::Kind::Analytic, {}},
                                        {ExerciseStyle::American},
                                        {OptionType::Call}});
  const std::vector<RowError> failures =
      value_options(chain.options(), BatchSetting{market, kValuation, config}, OnRowError::Continue,
                    chain.outputs());
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0].kind, RowErrorKind::MemoryError);
  EXPECT_EQ(failures[0].message, "out of memory");
  EXPECT_EQ(failures[1].kind, RowErrorKind::Panic);
  EXPECT_EQ(failures[1].message,
            "not implemented: American options with interest rate below dividend yield have not "
            "been implemented");
}

TEST(Batch, StopsAtTheFirstFailure) {
  Chain chain;
  chain.add(100.0, instant(2025, 1, 1), OptionType::Put, ExerciseStyle::American);
  chain.add(100.0, kValuation, OptionType::Put, ExerciseStyle::American);
  chain.add(90.0, kValuation, OptionType::Put, ExerciseStyle::American);
  chain.add(90.0, instant(2025, 1, 1), OptionType::Put, ExerciseStyle::American);
  const MarketFrame market = frame();
  const std::vector<RowError> failures =
      value_options(chain.options(), BatchSetting{market, kValuation, PricingConfig::initial()},
                    OnRowError::Stop, chain.outputs());
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].row, 1u);
  EXPECT_EQ(failures[0].kind, RowErrorKind::Panic);
  EXPECT_EQ(failures[0].message, "Solver never ran");
  EXPECT_GT(chain.price[0], 0.0);
  // Rows after the failure are left as they were.
  EXPECT_EQ(chain.price[2], -1.0);
  EXPECT_EQ(chain.price[3], -1.0);
}

TEST(Batch, EmptyAndMismatchedColumns) {
  Chain chain;
  const MarketFrame market = frame();
  const BatchSetting batch{market, kValuation, PricingConfig::initial()};
  EXPECT_TRUE(value_options(chain.options(), batch, OnRowError::Continue, chain.outputs()).empty());
  EXPECT_TRUE(implied_volatilities(chain.options(), {}, batch, OnRowError::Stop, {}).empty());

  chain.add(100.0, instant(2025, 1, 1), OptionType::Call, ExerciseStyle::European);
  chain.strikes.push_back(1.0);
  EXPECT_THROW(value_options(chain.options(), batch, OnRowError::Continue, chain.outputs()),
               std::length_error);
  chain.strikes.pop_back();
  const std::vector<double> no_prices;
  EXPECT_THROW(
      implied_volatilities(chain.options(), no_prices, batch, OnRowError::Continue, chain.vol),
      std::length_error);
}

}  // namespace
}  // namespace vyr
