"""Prices a small book of equity options and prints prices, Greeks and implied volatilities.

The book: European and American calls and puts across strikes and expiries on one underlying,
with a discrete cash dividend, a flat discount curve and a borrow curve. European options are
priced both in closed form (which ignores the cash dividend) and on the finite-difference grid
(which applies it); American options on the grid.
"""

from datetime import datetime
from zoneinfo import ZoneInfo

import vyr

NEW_YORK = ZoneInfo("America/New_York")
ACT365 = vyr.DayCountConvention.ACT_365_FIXED

valuation_time = datetime(2026, 1, 5, 16, 0, tzinfo=NEW_YORK)
spot = 100.0
dividends = vyr.DividendSchedule([(datetime(2026, 3, 13, 9, 30, tzinfo=NEW_YORK), 1.50)])
market = vyr.OptionMarketFrame(
    spot,
    rate_curve=vyr.RateCurve.flat(vyr.InterestRate(0.04, vyr.Compounding.continuous(), ACT365)),
    vol_surface=vyr.VolSurface.flat(0.25, ACT365),
    dividends=dividends,
    borrow_curve=vyr.RateCurve.continuous(0.005, ACT365),
)

closed_form = vyr.Config().add_policy(vyr.InstrumentPolicy().european().analytic())
grid = vyr.Config().add_policy(
    vyr.InstrumentPolicy().fdm(vyr.FdmConfig(time_steps=200, grid_nodes=401))
)

expiries = {
    "3M": datetime(2026, 4, 17, 16, 0, tzinfo=NEW_YORK),
    "1Y": datetime(2027, 1, 15, 16, 0, tzinfo=NEW_YORK),
}
book = [
    (style, kind, strike, tenor)
    for style in (vyr.ExerciseStyle.European, vyr.ExerciseStyle.American)
    for kind in (vyr.OptionType.Call, vyr.OptionType.Put)
    for tenor in expiries
    for strike in (90.0, 100.0, 110.0)
]


def cell(value: float | None, width: int = 9, digits: int = 4) -> str:
    return f"{'-':>{width}}" if value is None else f"{value:>{width}.{digits}f}"


header = (
    f"{'style':<9}{'type':<5}{'K':>6} {'T':<3}{'method':<8}{'price':>9}{'delta':>9}"
    f"{'gamma':>9}{'theta':>9}{'vega':>9}{'rho':>9}{'impl.vol':>9}"
)
print(f"Spot {spot}, r 4.00 %, borrow 0.50 %, vol 25.00 %, "
      f"cash dividend 1.50 on 2026-03-13; valued {valuation_time:%Y-%m-%d %H:%M %Z}")
print(header)
print("-" * len(header))
for style, kind, strike, tenor in book:
    option = vyr.VanillaOption(strike, expiries[tenor], kind, style)
    routes = [("closed", closed_form), ("grid", grid)] if style is vyr.ExerciseStyle.European else [
        ("grid", grid)]
    for method, config in routes:
        result = option.valuation().market(market).at(valuation_time).config(config).compute()
        greeks = result.greeks
        implied = (
            option.implied_vol().price(result.price).market(market).at(valuation_time)
            .config(config).calculate()
        )
        print(
            f"{repr(style).split('.')[1]:<9}{repr(kind).split('.')[1]:<5}{strike:>6.0f} "
            f"{tenor:<3}{method:<8}{cell(result.price)}{cell(greeks.delta)}{cell(greeks.gamma)}"
            f"{cell(greeks.theta)}{cell(greeks.vega)}{cell(greeks.rho)}{cell(implied)}"
        )
print("\ntheta per year, vega per 1.00 of volatility, rho per 1.00 of rate; "
      "'-' where the grid method gives no vega or rho.")
