#include "core/rate.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/error.hpp"

namespace vyr {
namespace {

TEST(Compounding, Repr) {
  const struct {
    Compounding compounding;
    const char* repr;
  } cases[] = {
      {Compounding::simple(), "Compounding.Simple"},
      {Compounding::continuous(), "Compounding.Continuous"},
      {Compounding::compounded(Frequency::Annual), "Compounding.Compounded(Annual)"},
      {Compounding::compounded(Frequency::Quarterly), "Compounding.Compounded(Quarterly)"},
      {Compounding::compounded(Frequency::Monthly), "Compounding.Compounded(Monthly)"},
      {Compounding::simple_then_compounded(Frequency::SemiAnnual),
       "Compounding.SimpleThenCompounded(SemiAnnual)"},
      {Compounding::simple_then_compounded(Frequency::Monthly),
       "Compounding.SimpleThenCompounded(Monthly)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.compounding.repr(), c.repr);
  }
}

TEST(Compounding, DiscountFactors) {
  const struct {
    Compounding compounding;
    double rate;
    double t;
    double expected;
  } cases[] = {
      {Compounding::simple(), 0.05, 2.0, 1.0 / 1.1},
      {Compounding::simple(), 0.05, 0.0, 1.0},
      {Compounding::simple(), 0.05, -2.0, 1.0 / 0.9},
      {Compounding::compounded(Frequency::Quarterly), 0.08, 1.0, 1.0 / std::pow(1.02, 4.0)},
      {Compounding::compounded(Frequency::Monthly), 0.12, 0.5, 1.0 / std::pow(1.01, 6.0)},
      {Compounding::compounded(Frequency::SemiAnnual), 0.1, 3.0, 1.0 / std::pow(1.05, 6.0)},
      {Compounding::compounded(Frequency::Annual), 0.05, 0.0, 1.0},
      {Compounding::continuous(), 0.05, 1.0, std::exp(-0.05)},
      {Compounding::continuous(), -0.01, 2.0, std::exp(0.02)},
      {Compounding::continuous(), 0.05, 0.0, 1.0},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(c.compounding.discount_factor(c.rate, c.t), c.expected)
        << c.compounding.repr() << " r=" << c.rate << " t=" << c.t;
    const InterestRate rate{DayCountConvention::actual_360(), c.rate, c.compounding};
    EXPECT_EQ(rate.discount_factor(c.t), c.compounding.discount_factor(c.rate, c.t));
  }
}

TEST(Compounding, DegenerateInputsFollowTheFormulas) {
  // A base 1 + r/n below zero raised to a fractional power, and a simple factor of zero.
  EXPECT_TRUE(std::isnan(Compounding::compounded(Frequency::Annual).discount_factor(-2.0, 0.5)));
  EXPECT_EQ(Compounding::simple().discount_factor(-0.5, 2.0), INFINITY);
  EXPECT_EQ(Compounding::compounded(Frequency::Annual).discount_factor(-1.0, 1.0), INFINITY);
}

TEST(Compounding, SimpleThenCompoundedIsNotImplemented) {
  const InterestRate rate{DayCountConvention::actual_365_fixed(), 0.05,
                          Compounding::simple_then_compounded(Frequency::Quarterly)};
  try {
    rate.discount_factor(1.0);
    ADD_FAILURE() << "no failure";
  } catch (const Panic& error) {
    EXPECT_EQ(std::string(error.what()), "not yet implemented: Implement other logic");
  }
}

}  // namespace
}  // namespace vyr
