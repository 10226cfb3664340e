// ValuationBuilder with its results, OptionResult and Greeks.
#include <string>

#include "classes.hpp"
#include "core/number_format.hpp"
#include "execution/request_settings.hpp"
#include "execution/valuation.hpp"

namespace vyr::python {
namespace {

ValuationRequest construct(Ref<vyr::VanillaOption> instrument) {
  return ValuationRequest{std::move(instrument), {}, {}, {}};
}

OptionResultValue compute(const ValuationRequest& request) {
  const BorrowedValue<vyr::VanillaOption> option = read(request.instrument);
  const RequestInputs inputs = read_inputs(request);
  return OptionResultValue{vyr::value_option(option.get(), inputs.market_frame(),
                                             request.valuation_time, inputs.pricing_config())};
}

double price(const OptionResultValue& result) {
  return result.result.price;
}

GreeksValue greeks(const OptionResultValue& result) {
  return GreeksValue{result.result};
}

std::string result_repr(const OptionResultValue& result) {
  return "<OptionResult price=" + vyr::format_fixed(result.result.price, 4) + ">";
}

double delta(const GreeksValue& greeks) {
  return greeks.result.delta;
}
double gamma(const GreeksValue& greeks) {
  return greeks.result.gamma;
}
double theta(const GreeksValue& greeks) {
  return greeks.result.theta;
}
std::optional<double> vega(const GreeksValue& greeks) {
  return greeks.result.vega;
}
std::optional<double> rho(const GreeksValue& greeks) {
  return greeks.result.rho;
}

}  // namespace

void PythonClass<ValuationRequest>::define(ClassBuilder<ValuationRequest>& builder) {
  builder.constructor<&construct>({"instrument"})
      .method<&set_market<ValuationRequest>>("market", {"market_frame"})
      .method<&set_valuation_time<ValuationRequest>>("at", {"valuation_time"})
      .method<&set_config<ValuationRequest>>("config", {"config"})
      .method<&compute>("compute");
}

void PythonClass<OptionResultValue>::define(ClassBuilder<OptionResultValue>& builder) {
  builder.property<&price>("price").property<&greeks>("greeks").repr<&result_repr>();
}

void PythonClass<GreeksValue>::define(ClassBuilder<GreeksValue>& builder) {
  builder.property<&delta>("delta")
      .property<&gamma>("gamma")
      .property<&theta>("theta")
      .property<&vega>("vega")
      .property<&rho>("rho");
}

}  // namespace vyr::python
