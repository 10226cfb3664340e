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
  policy.method = PricingMethod{PricingMethod::Kind::Analytic, std::nullopt, std::nullopt};
  return {};
}

ReturnSelf fdm(InstrumentPolicy& policy, const vyr::FdmConfig* fdm_config) {
  policy.method = PricingMethod{
      PricingMethod::Kind::Fdm,
      fdm_config != nullptr ? std::optional<vyr::FdmConfig>(*fdm_config) : std::nullopt,
      std::nullopt};
  return {};
}

// Each setting given replaces the method's default; the whole is validated now, so a policy never
// carries settings the pricer would refuse.
ReturnSelf fixed_point(InstrumentPolicy& policy, std::optional<std::uint64_t> collocation_nodes,
                       std::optional<std::uint64_t> collocation_nodes_off_strike,
                       std::optional<std::uint64_t> iterations,
                       std::optional<double> step_tolerance,
                       std::optional<std::uint64_t> first_iteration_quadrature_nodes,
                       std::optional<std::uint64_t> boundary_quadrature_nodes,
                       std::optional<std::uint64_t> premium_quadrature_nodes) {
  vyr::FixedPointSettings settings;
  const auto set = [](std::size_t& field, std::optional<std::uint64_t> value) {
    if (value) {
      field = static_cast<std::size_t>(*value);
    }
  };
  set(settings.collocation_nodes, collocation_nodes);
  set(settings.collocation_nodes_off_strike, collocation_nodes_off_strike);
  set(settings.iterations, iterations);
  if (step_tolerance) {
    settings.step_tolerance = *step_tolerance;
  }
  set(settings.first_iteration_quadrature_nodes, first_iteration_quadrature_nodes);
  set(settings.boundary_quadrature_nodes, boundary_quadrature_nodes);
  set(settings.premium_quadrature_nodes, premium_quadrature_nodes);
  settings.validate();
  policy.method = PricingMethod{PricingMethod::Kind::FixedPoint, std::nullopt, settings};
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
      .method<&fdm>("fdm", {"fdm_config"})
      .method<&fixed_point>("fixed_point",
                            {"collocation_nodes", "collocation_nodes_off_strike", "iterations",
                             "step_tolerance", "first_iteration_quadrature_nodes",
                             "boundary_quadrature_nodes", "premium_quadrature_nodes"});
}

}  // namespace vyr::python
