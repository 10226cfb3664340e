// The market data one valuation needs.
#pragma once

#include <optional>

#include "market/dividend.hpp"
#include "market/rate_curve.hpp"
#include "market/vol_surface.hpp"

namespace vyr {

struct MarketFrame {
  double spot;
  RateCurve rate_curve;
  VolSurface vol_surface;
  DividendList dividends;
  std::optional<RateCurve> borrow_curve;
};

}  // namespace vyr
