// OptionMarketFrame: spot, rate curve, volatility surface, dividends and an optional borrow
// curve. The frame owns copies; every read returns a new object.
#include "classes.hpp"

namespace vyr::python {
namespace {

using vyr::MarketFrame;
using vyr::RateCurve;
using vyr::VolSurface;

MarketFrame construct(double spot, const RateCurve& rate_curve, const VolSurface& vol_surface,
                      const DividendSchedule* dividends, const RateCurve* borrow_curve) {
  return MarketFrame{
      spot, rate_curve, vol_surface,
      dividends != nullptr ? dividends->dividends : vyr::DividendList{},
      borrow_curve != nullptr ? std::optional<RateCurve>(*borrow_curve) : std::nullopt};
}

double spot(const MarketFrame& frame) {
  return frame.spot;
}
void set_spot(MarketFrame& frame, double spot) {
  frame.spot = spot;
}

RateCurve rate_curve(const MarketFrame& frame) {
  return frame.rate_curve;
}
void set_rate_curve(MarketFrame& frame, const RateCurve& curve) {
  frame.rate_curve = curve;
}

VolSurface vol_surface(const MarketFrame& frame) {
  return frame.vol_surface;
}
void set_vol_surface(MarketFrame& frame, const VolSurface& surface) {
  frame.vol_surface = surface;
}

DividendSchedule dividends(const MarketFrame& frame) {
  return DividendSchedule{frame.dividends};
}
void set_dividends(MarketFrame& frame, const DividendSchedule* schedule) {
  frame.dividends = schedule != nullptr ? schedule->dividends : vyr::DividendList{};
}

Owned borrow_curve(const MarketFrame& frame) {
  if (!frame.borrow_curve) {
    return Owned::borrow(Py_None);
  }
  return new_instance<RateCurve>(*frame.borrow_curve);
}
void set_borrow_curve(MarketFrame& frame, const RateCurve* curve) {
  frame.borrow_curve = curve != nullptr ? std::optional<RateCurve>(*curve) : std::nullopt;
}

}  // namespace

void PythonClass<MarketFrame>::define(ClassBuilder<MarketFrame>& builder) {
  builder
      .constructor<&construct>({"spot", "rate_curve", "vol_surface", "dividends", "borrow_curve"})
      .property<&spot, &set_spot>("spot")
      .property<&rate_curve, &set_rate_curve>("rate_curve")
      .property<&vol_surface, &set_vol_surface>("vol_surface")
      .property<&dividends, &set_dividends>("dividends")
      .property<&borrow_curve, &set_borrow_curve>("borrow_curve");
}

}  // namespace vyr::python
