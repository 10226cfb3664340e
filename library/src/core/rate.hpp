// Compounding rules and interest rates with their discount factors.
#pragma once

#include <cstdint>
#include <string>

#include "core/period.hpp"

namespace vyr {

class Compounding {
 public:
  enum class Kind : std::uint8_t { Simple, Compounded, Continuous, SimpleThenCompounded };

  static constexpr Compounding simple() { return {Kind::Simple, Frequency::Annual}; }
  static constexpr Compounding continuous() { return {Kind::Continuous, Frequency::Annual}; }
  static constexpr Compounding compounded(Frequency frequency) {
    return {Kind::Compounded, frequency};
  }
  static constexpr Compounding simple_then_compounded(Frequency frequency) {
    return {Kind::SimpleThenCompounded, frequency};
  }

  constexpr Kind kind() const { return kind_; }
  // Meaningful for Compounded and SimpleThenCompounded only.
  constexpr Frequency frequency() const { return frequency_; }

  // "Compounding.Simple", "Compounding.Compounded(Quarterly)", "Compounding.Continuous",
  // "Compounding.SimpleThenCompounded(Monthly)".
  std::string repr() const;

  // The discount factor of a nominal rate at time t (years) under this rule. Throws Panic
  // "not yet implemented: Implement other logic" for SimpleThenCompounded.
  double discount_factor(double rate, double t) const;

 private:
  constexpr Compounding(Kind kind, Frequency frequency) : kind_(kind), frequency_(frequency) {}

  Kind kind_;
  Frequency frequency_;
};

struct InterestRate {
  DayCountConvention dcc;
  double rate;
  Compounding compounding;

  double discount_factor(double t) const { return compounding.discount_factor(rate, t); }
};

}  // namespace vyr
