// ImpliedVolBuilder: the volatility at which the routed pricer reproduces a target price. The
// class is reachable only through its instances, from VanillaOption.implied_vol().
#include "execution/implied_vol.hpp"
#include "classes.hpp"
#include "execution/request_settings.hpp"

namespace vyr::python {
namespace {

ImpliedVolRequest construct(Ref<vyr::VanillaOption> instrument) {
  return ImpliedVolRequest{{}, std::move(instrument), {}, {}, {}};
}

ReturnSelf set_target(ImpliedVolRequest& request, double target) {
  request.target = target;
  return {};
}

double calculate(const ImpliedVolRequest& request) {
  const BorrowedValue<vyr::VanillaOption> option = read(request.instrument);
  const RequestInputs inputs = read_inputs(request);
  return vyr::implied_volatility(option.get(), inputs.market_frame(), request.valuation_time,
                                 inputs.pricing_config(), request.target);
}

}  // namespace

void PythonClass<ImpliedVolRequest>::define(ClassBuilder<ImpliedVolRequest>& builder) {
  builder.constructor<&construct>({"instrument"})
      .method<&set_target>("price", {"target"})
      .method<&set_market<ImpliedVolRequest>>("market", {"market_frame"})
      .method<&set_valuation_time<ImpliedVolRequest>>("at", {"valuation_time"})
      .method<&set_config<ImpliedVolRequest>>("config", {"config"})
      .method<&calculate>("calculate");
}

}  // namespace vyr::python
