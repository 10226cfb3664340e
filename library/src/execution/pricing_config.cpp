#include "execution/pricing_config.hpp"

#include <algorithm>
#include <cstddef>

namespace vyr {
namespace {

constexpr std::size_t index_of(ExerciseStyle style) {
  return static_cast<std::size_t>(style);
}
constexpr std::size_t index_of(OptionType type) {
  return static_cast<std::size_t>(type);
}

// An empty list matches every value.
template <typename T>
bool matches(const std::vector<T>& list, T value) {
  return list.empty() || std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

const PricingConfig& PricingConfig::initial() {
  static const PricingConfig config = [] {
    const InstrumentPolicy american_by_grid{
        PricingMethod{PricingMethod::Kind::Fdm, std::nullopt, std::nullopt},
        {ExerciseStyle::American},
        {}};
    return PricingConfig{}.with_policy(american_by_grid);
  }();
  return config;
}

PricingConfig PricingConfig::with_policy(const InstrumentPolicy& policy) const {
  PricingConfig edited = *this;
  for (const ExerciseStyle style : {ExerciseStyle::American, ExerciseStyle::European}) {
    if (!matches(policy.exercise_styles, style)) {
      continue;
    }
    for (const OptionType type : {OptionType::Call, OptionType::Put}) {
      if (matches(policy.option_types, type)) {
        edited.cells_[index_of(style)][index_of(type)] = policy.method;
      }
    }
  }
  return edited;
}

const PricingMethod& PricingConfig::method_for(ExerciseStyle style, OptionType type) const {
  return cells_[index_of(style)][index_of(type)];
}

PricingConfig PricingConfig::with_solver(const ImpliedVolSolver& solver) const {
  PricingConfig edited = *this;
  edited.solver_ = solver;
  return edited;
}

}  // namespace vyr
