// The settings both builders share: the market frame, the valuation time and the configuration,
// each stored by reference and returning the builder so calls chain.
#pragma once

#include "classes.hpp"
#include "datetime_conversion.hpp"

namespace vyr::python {

template <typename Request>
ReturnSelf set_market(Request& request, Ref<vyr::MarketFrame> market_frame) {
  request.market = std::move(market_frame);
  return {};
}

template <typename Request>
ReturnSelf set_valuation_time(Request& request, std::optional<AwareDateTime> valuation_time) {
  if (!valuation_time) {
    request.valuation_time.reset();
    return {};
  }
  // Converted before anything is stored, so a failure leaves the builder as it was.
  request.valuation_time =
      timestamp_instant(*valuation_time, vyr::TimestampSplit::Rounding, kEvaluationTimeMessages);
  return {};
}

template <typename Request>
ReturnSelf set_config(Request& request, std::optional<Ref<ConfigHandle>> config) {
  request.config = std::move(config);
  return {};
}

// The market frame and configuration a computation reads, borrowed for its duration.
struct RequestInputs {
  BorrowedValue<vyr::MarketFrame> market;
  BorrowedValue<ConfigHandle> config;

  const vyr::MarketFrame* market_frame() const { return market.pointer(); }
  const vyr::PricingConfig* pricing_config() const {
    return config.pointer() != nullptr ? config.get().snapshot.get() : nullptr;
  }
};

template <typename Request>
RequestInputs read_inputs(const Request& request) {
  return RequestInputs{request.market ? read(*request.market) : BorrowedValue<vyr::MarketFrame>(),
                       request.config ? read(*request.config) : BorrowedValue<ConfigHandle>()};
}

}  // namespace vyr::python
