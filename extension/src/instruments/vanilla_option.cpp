// VanillaOption with its two enumerations, OptionType and ExerciseStyle, and the static methods
// that price a whole chain of options in one call.
#include <string>

#include "classes.hpp"
#include "core/clock.hpp"
#include "datetime_conversion.hpp"
#include "execution/chain_pricing.hpp"

namespace vyr::python {
namespace {

using vyr::ExerciseStyle;
using vyr::OptionType;
using vyr::VanillaOption;

constexpr TimestampMessages kValuationDateMessages{
    "valuation_date must be timezone-aware (e.g., UTC or New York time)",
    "Invalid valuation_date timestamp"};

VanillaOption construct(double strike, AwareDateTime expiry_time, OptionType option_type,
                        ExerciseStyle exercise_style) {
  const vyr::Instant expiry =
      timestamp_instant(expiry_time, vyr::TimestampSplit::Truncating, kExpiryMessages);
  return VanillaOption{strike, expiry, option_type, exercise_style};
}

double strike(const VanillaOption& option) {
  return option.strike;
}

double years_to_expiry(const VanillaOption& option, std::optional<AwareDateTime> valuation_date) {
  const vyr::Instant valuation =
      valuation_date ? timestamp_instant(*valuation_date, vyr::TimestampSplit::Rounding,
                                         kValuationDateMessages)
                     : vyr::now_utc();
  return option.years_to_expiry(valuation);
}

ValuationRequest valuation(Self<VanillaOption> option) {
  return ValuationRequest{Ref<VanillaOption>(Owned::borrow(option.object)), {}, {}, {}};
}

ImpliedVolRequest implied_vol(Self<VanillaOption> option) {
  return ImpliedVolRequest{{}, Ref<VanillaOption>(Owned::borrow(option.object)), {}, {}, {}};
}

std::string option_type_repr(const OptionType& type) {
  return type == OptionType::Call ? "OptionType.Call" : "OptionType.Put";
}

std::string exercise_style_repr(const ExerciseStyle& style) {
  return style == ExerciseStyle::American ? "ExerciseStyle.American" : "ExerciseStyle.European";
}

template <typename Enumeration>
std::int64_t enumeration_index(const Enumeration& value) {
  return static_cast<std::int64_t>(value);
}

}  // namespace

void PythonClass<VanillaOption>::define(ClassBuilder<VanillaOption>& builder) {
  builder.constructor<&construct>({"strike", "expiry_time", "option_type", "exercise_style"})
      .property<&strike>("strike")
      .method<&years_to_expiry>("years_to_expiry", {"valuation_date"})
      .method<&valuation>("valuation")
      .method<&implied_vol>("implied_vol")
      .static_method<&value_many>(
          "value_many", {"strikes", "expiries", "option_types", "exercise_styles", "market",
                         "valuation_time", "config", "errors"})
      .static_method<&implied_vol_many>(
          "implied_vol_many", {"strikes", "expiries", "option_types", "exercise_styles", "prices",
                               "market", "valuation_time", "config", "errors"});
}

void PythonClass<OptionType>::define(ClassBuilder<OptionType>& builder) {
  builder.repr<&option_type_repr>()
      .integer<&enumeration_index<OptionType>>()
      .constant("Call", OptionType::Call)
      .constant("Put", OptionType::Put);
}

void PythonClass<ExerciseStyle>::define(ClassBuilder<ExerciseStyle>& builder) {
  builder.repr<&exercise_style_repr>()
      .integer<&enumeration_index<ExerciseStyle>>()
      .constant("American", ExerciseStyle::American)
      .constant("European", ExerciseStyle::European);
}

}  // namespace vyr::python
