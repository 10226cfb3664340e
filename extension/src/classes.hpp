// Every class of the module, each binding one C++ value type. A class object is built on first
// need from the `define` function in the class's own source file.
#pragma once

#include <memory>
#include <optional>

#include "binding/class_builder.hpp"
#include "binding/instance.hpp"
#include "core/error.hpp"
#include "core/instant.hpp"
#include "core/period.hpp"
#include "core/rate.hpp"
#include "execution/pricing_config.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/dividend.hpp"
#include "market/market_frame.hpp"
#include "market/rate_curve.hpp"
#include "market/vol_surface.hpp"
#include "methods/finite_difference/fdm_config.hpp"
#include "methods/pricing_result.hpp"

namespace vyr::python {

// Classes that only group class attributes, or hold static methods; they have no instances.
struct Thirty360Group {};
struct ActActGroup {};
struct PeriodCalculatorClass {};

struct DividendSchedule {
  vyr::DividendList dividends;
};

// A configuration shares its routing table as an immutable snapshot; adding a policy publishes
// an edited copy, so a computation keeps the table it started with.
struct ConfigHandle {
  std::shared_ptr<const vyr::PricingConfig> snapshot;
};

struct OptionResultValue {
  vyr::PricingResult result;
};

struct GreeksValue {
  vyr::PricingResult result;
};

struct ValuationRequest;
struct ImpliedVolRequest;

#define VYR_DECLARE_CLASS(Type, Name)                \
  template <>                                        \
  struct PythonClass<Type> {                         \
    static constexpr const char* name = Name;        \
    static void define(ClassBuilder<Type>& builder); \
  }

VYR_DECLARE_CLASS(vyr::Compounding, "Compounding");
VYR_DECLARE_CLASS(vyr::DayCountConvention, "DayCountConvention");
VYR_DECLARE_CLASS(vyr::Frequency, "Frequency");
VYR_DECLARE_CLASS(vyr::InterestRate, "InterestRate");
VYR_DECLARE_CLASS(vyr::VanillaOption, "VanillaOption");
VYR_DECLARE_CLASS(vyr::MarketFrame, "OptionMarketFrame");
VYR_DECLARE_CLASS(vyr::Tenor, "Tenor");
VYR_DECLARE_CLASS(vyr::RateCurve, "RateCurve");
VYR_DECLARE_CLASS(vyr::VolSurface, "VolSurface");
VYR_DECLARE_CLASS(vyr::FdmConfig, "FdmConfig");
VYR_DECLARE_CLASS(ConfigHandle, "Config");
VYR_DECLARE_CLASS(vyr::OptionType, "OptionType");
VYR_DECLARE_CLASS(vyr::ExerciseStyle, "ExerciseStyle");
VYR_DECLARE_CLASS(ValuationRequest, "ValuationBuilder");
VYR_DECLARE_CLASS(OptionResultValue, "OptionResult");
VYR_DECLARE_CLASS(GreeksValue, "Greeks");
VYR_DECLARE_CLASS(vyr::InstrumentPolicy, "InstrumentPolicy");
VYR_DECLARE_CLASS(PeriodCalculatorClass, "PeriodCalculator");
VYR_DECLARE_CLASS(DividendSchedule, "DividendSchedule");
VYR_DECLARE_CLASS(vyr::Transform, "TransformConfig");
VYR_DECLARE_CLASS(ImpliedVolRequest, "ImpliedVolBuilder");
VYR_DECLARE_CLASS(Thirty360Group, "Thirty360");
VYR_DECLARE_CLASS(ActActGroup, "ActAct");

#undef VYR_DECLARE_CLASS

// The builders keep references to the objects they were given.
struct ValuationRequest {
  Ref<vyr::VanillaOption> instrument;
  std::optional<Ref<vyr::MarketFrame>> market;
  std::optional<Ref<ConfigHandle>> config;
  std::optional<vyr::Instant> valuation_time;
};

struct ImpliedVolRequest {
  std::optional<double> target;
  Ref<vyr::VanillaOption> instrument;
  std::optional<Ref<vyr::MarketFrame>> market;
  std::optional<Ref<ConfigHandle>> config;
  std::optional<vyr::Instant> valuation_time;
};

}  // namespace vyr::python
