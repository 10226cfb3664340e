// Config and InstrumentPolicy: routing of each exercise style and option type to a method.
#include "classes.hpp"

namespace vyr::python {
namespace {

using vyr::InstrumentPolicy;
using vyr::PricingMethod;

ConfigHandle construct_config() {
  return ConfigHandle{std::make_shared<const vyr::PricingConfig>(vyr::PricingConfig::initial())};
}

ReturnSelf add_policy(ConfigHandle& config, const InstrumentPolicy& policy) {
  config.snapshot =
      std::make_shared<const vyr::PricingConfig>(config.snapshot->with_policy(policy));
  return {};
}

InstrumentPolicy construct_policy() {
  return InstrumentPolicy{};
}

template <vyr::ExerciseStyle style>
ReturnSelf add_style(InstrumentPolicy& policy) {
  policy.exercise_styles.push_back(style);
  return {};
}

template <vyr::OptionType type>
ReturnSelf add_type(InstrumentPolicy& policy) {
  policy.option_types.push_back(type);
  return {};
}

ReturnSelf analytic(InstrumentPolicy& policy) {
  policy.method = PricingMethod{PricingMethod::Kind::Analytic, std::nullopt};
  return {};
}

ReturnSelf fdm(InstrumentPolicy& policy, const vyr::FdmConfig* fdm_config) {
  policy.method = PricingMethod{
      PricingMethod::Kind::Fdm,
      fdm_config != nullptr ? std::optional<vyr::FdmConfig>(*fdm_config) : std::nullopt};
  return {};
}

}  // namespace

void PythonClass<ConfigHandle>::define(ClassBuilder<ConfigHandle>& builder) {
  builder.constructor<&construct_config>({}).method<&add_policy>("add_policy", {"policy"});
}

void PythonClass<InstrumentPolicy>::define(ClassBuilder<InstrumentPolicy>& builder) {
  builder.constructor<&construct_policy>({})
      .method<&add_style<vyr::ExerciseStyle::American>>("american")
      .method<&add_style<vyr::ExerciseStyle::European>>("european")
      .method<&add_type<vyr::OptionType::Put>>("put")
      .method<&add_type<vyr::OptionType::Call>>("call")
      .method<&analytic>("analytic")
      .method<&fdm>("fdm", {"fdm_config"});
}

}  // namespace vyr::python
